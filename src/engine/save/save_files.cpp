#include "engine/save/save_files.h"

#include "common/file_lookup.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/engine.h"

namespace tsumugi {

namespace fs = std::filesystem;

namespace {

// Whether `path` lies inside `folder` once every symbolic link of both is
// followed, a link that leads nowhere (yet) included.
bool Inside(const fs::path& folder, const fs::path& path) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(folder, ec);
  if (ec) return false;
  fs::path resolved = path;
  for (int hop = 0; fs::is_symlink(fs::symlink_status(resolved, ec)); ++hop) {
    if (hop == 40) return false;  // a loop of links
    const fs::path link = fs::read_symlink(resolved, ec);
    if (ec) return false;
    resolved = (resolved.parent_path() / link).lexically_normal();
  }
  const fs::path target = fs::weakly_canonical(resolved, ec);
  if (ec) return false;
  auto r = root.begin();
  auto t = target.begin();
  for (; r != root.end(); ++r, ++t) {
    if (r->empty()) continue;  // the empty last part of a folder ending in "/"
    if (t == target.end() || *r != *t) return false;
  }
  return t != target.end();
}

}  // namespace

SaveFiles::SaveFiles(Engine& engine) : e_(engine) {
  e_.script.RegisterCommand(u"sav", [this] { return Sav(); });
  e_.script.RegisterCommand(u"lod", [this] { return Lod(); });
}

// --- The state ---------------------------------------------------------------------

SaveState SaveFiles::Capture() const {
  SaveState state;
  state.CallFile = e_.state.calls.MemoryFile;
  state.CallLine = e_.state.calls.MemoryLine;
  state.Recall = e_.state.text.RecallMemories;
  state.Button = e_.state.buttons.ButtonMemories;
  state.Flags = e_.state.vars.Flags;
  const VariableState& vars = e_.state.vars;
  for (size_t i = 0; i < vars.IntegerNames.size(); ++i) {
    state.VariableLines.push_back(u".let " + vars.IntegerNames[i] + u" = " +
                                  ToDecimal(vars.IntegerValues[i]));
  }
  for (size_t i = 0; i < vars.TextNames.size(); ++i) {
    state.VariableLines.push_back(u".let " + vars.TextNames[i] + u" = " + vars.TextValues[i]);
  }
  return state;
}

void SaveFiles::Restore(const SaveState& state) {
  e_.state.calls.MemoryFile = state.CallFile;
  e_.state.calls.MemoryLine = state.CallLine;
  e_.state.text.RecallMemories = state.Recall;
  e_.state.buttons.ButtonMemories = state.Button;
  e_.state.vars.Flags = state.Flags;
}

std::string SaveFiles::Encode(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const std::u16string& line : lines) {
    text += line;
    text += u"\r\n";
  }
  std::string bytes = Utf16ToCp932(text);
  if (Cp932ToUtf16(bytes) == text) return bytes;
  return "\xEF\xBB\xBF" + Utf16ToUtf8(text);
}

// --- Names and folders -----------------------------------------------------------------

std::optional<std::u16string> SaveFileNameFor(std::u16string name, std::u16string_view extension) {
  if (name.empty()) name = std::u16string(u"save").append(extension);
  // The name's last part, after the last folder separator.
  const size_t slash = name.find_last_of(u"\\/");
  const std::u16string_view leaf =
      std::u16string_view(name).substr(slash == std::u16string::npos ? 0 : slash + 1);
  if (leaf.find(u'.') == std::u16string_view::npos) name.append(extension);
  const std::u16string_view file =
      std::u16string_view(name).substr(slash == std::u16string::npos ? 0 : slash + 1);

  bool bad = false;
  // A save with the scenario extension must begin with "save", as the
  // catalogue passes over such files: no save can replace a scenario. The
  // whole extension counts, whatever its length and case.
  const size_t dot = file.rfind(u'.');
  if (dot != std::u16string_view::npos && EqualsIgnoringAsciiCase(file.substr(dot), extension)) {
    bad = !file.starts_with(u"save");
  }
  // Names that leave the save folder.
  if (name[0] == u'/' || name[0] == u'\\' || (name.size() > 1 && name[1] == u':')) bad = true;
  for (size_t start = 0; start <= name.size();) {
    size_t end = name.find_first_of(u"\\/", start);
    if (end == std::u16string::npos) end = name.size();
    if (std::u16string_view(name).substr(start, end - start) == u"..") bad = true;
    start = end + 1;
  }
  if (bad) return std::nullopt;
  return name;
}

std::u16string SaveFiles::SaveFileName(std::u16string word) {
  std::optional<std::u16string> name =
      SaveFileNameFor(std::move(word), e_.settings.ScenarioExtension);
  if (!name) e_.script.ScriptError(u"セーブファイル名が不正です", false);
  return *name;
}

const SaveFolders& SaveFiles::Folders() {
  if (!folders_) {
    folders_ = ChooseSaveFolders(PathFromUtf16(e_.settings.ScenarioFolder), e_.options.game_folder,
                                 e_.options.save_dir);
    if (!folders_->note.empty()) e_.host.Diagnostic(folders_->note);
  }
  return *folders_;
}

std::optional<fs::path> SaveFiles::PathIn(const fs::path& folder, const std::u16string& name) {
  std::u16string relative = name;
  for (char16_t& c : relative) {
    if (c == u'\\') c = u'/';
  }
  // Old games were made on a file system that ignores case: an existing
  // save spelt otherwise is the one meant.
  fs::path path = folder / PathFromUtf16(relative);
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) {
    if (std::optional<fs::path> found = FindPathNoCase(folder, Utf16ToUtf8(name))) path = *found;
  }
  if (!Inside(folder, path)) return std::nullopt;
  return path;
}

// --- .sav --------------------------------------------------------------------------------

// .sav [NAME]
bool SaveFiles::Sav() {
  const std::u16string name = SaveFileName(e_.vars.ExpandText(e_.script.TakeArguments()));
  const fs::path folder = Folders().write;
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::optional<fs::path> path = PathIn(folder, name);
  if (!path) e_.script.ScriptError(u"セーブファイル名が不正です", false);

  const std::string bytes = Encode(SaveLines(Capture(), [this](int32_t file) {
    if (file < 1 || file > e_.catalogue.CatalogueCount()) return std::u16string();
    return e_.catalogue.File(file).name;
  }));
  std::string error;
  if (!WriteWholeFile(*path, bytes, &error, before_replace)) {
    // The old save is as it was; the player can make room and save again.
    e_.host.MessageBoxOk(u"セーブファイル「" + Utf8ToUtf16(PathToUtf8(*path)) +
                         u"」に書き込めませんでした\r\n" + Utf8ToUtf16(error));
  }
  return false;
}

// --- .lod --------------------------------------------------------------------------------

void SaveFiles::ReportUnreadable(const fs::path& file, const std::u16string& why) {
  e_.host.MessageBoxOk(u"セーブファイル「" + Utf8ToUtf16(PathToUtf8(file)) +
                       u"」を読み込めませんでした\r\n" + why + u"\r\nロードせずに続けます");
}

std::optional<std::vector<std::u16string>> SaveFiles::ReadLines(const std::u16string& name,
                                                                fs::path* found) {
  for (const fs::path& folder : Folders().read) {
    const std::optional<fs::path> path = PathIn(folder, name);
    std::error_code ec;
    // A missing file, or a link that leads nowhere, loads nothing.
    if (!path || !fs::exists(*path, ec)) continue;
    *found = *path;
    std::string bytes, error;
    if (!fs::is_regular_file(*path, ec)) {
      ReportUnreadable(*path, u"通常のファイルではありません");
      return std::nullopt;
    }
    if (fs::file_size(*path, ec) > kMaxSaveBytes) {
      ReportUnreadable(*path, u"ファイルが大きすぎます");
      return std::nullopt;
    }
    if (!ReadWholeFile(*path, &bytes, &error)) {
      ReportUnreadable(*path, Utf8ToUtf16(error));
      return std::nullopt;
    }
    if (bytes.find('\0') != std::string::npos) {
      ReportUnreadable(*path, u"テキストファイルではありません");
      return std::nullopt;
    }
    return SplitLines(DecodeGameText(bytes));
  }
  return std::nullopt;
}

// .lod [NAME [FLAG-OR-VARIABLE]]
bool SaveFiles::Lod() {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  script.DropCommandName();
  const std::u16string word = vars.ExpandText(script.NextArgument());
  // Without a name the whole default save is loaded, whatever follows.
  const std::u16string what = word.empty() ? u"" : vars.ExpandText(script.TakeRest());
  const std::u16string name = SaveFileName(word);
  fs::path file;
  const std::optional<std::vector<std::u16string>> lines = ReadLines(name, &file);
  if (!lines) return false;
  if (what.empty()) {
    LoadAll(*lines, file);
  } else if (Variables::IsFlagWord(what)) {
    LoadFlag(*lines, file, what);
  } else {
    LoadVariable(*lines, file, what);
  }
  return false;
}

void SaveFiles::LoadAll(const std::vector<std::u16string>& lines, const fs::path& file) {
  // The whole file is read and checked before anything changes.
  SaveState state = Capture();
  const std::optional<SaveFormatError> error = ReadSaveLines(
      lines, &state, [this](const std::u16string& name) { return e_.script.FindScenario(name); });
  if (error) {
    ReportUnreadable(file, ToDecimal(error->line) + u"行目：" + error->what);
    return;
  }
  Restore(state);
  // The variables pass through ".let", as the lines say.
  for (const std::u16string& line : state.VariableLines) e_.script.ExecuteLine(line);
}

void SaveFiles::LoadFlag(const std::vector<std::u16string>& lines, const fs::path& file,
                         const std::u16string& flag) {
  const int number = e_.vars.FlagNumber(flag);
  size_t at = 0;
  while (at < lines.size() && lines[at] != u":FlagSection") ++at;
  const size_t row = at + 1 + static_cast<size_t>(number / 16);
  const size_t column = static_cast<size_t>(number % 16);
  if (at == lines.size() || row >= lines.size() || lines[row].size() <= column) {
    ReportUnreadable(file, u"フラグ " + flag + u" がありません");
    return;
  }
  e_.vars.WriteFlag(number, lines[row][column] != u'0');
}

void SaveFiles::LoadVariable(const std::vector<std::u16string>& lines, const fs::path& file,
                             const std::u16string& name) {
  size_t at = 0;
  while (at < lines.size() && lines[at] != u":VarSection") ++at;
  if (at == lines.size()) {
    ReportUnreadable(file, u"「:VarSection」がありません");
    return;
  }
  const std::u16string head = u".let " + name + u" = ";
  for (++at; at < lines.size(); ++at) {
    if (lines[at].starts_with(head)) {
      e_.script.ExecuteLine(lines[at]);
      return;
    }
  }
  e_.script.ScriptError(u"セーブファイル内に存在しない変数を参照しました", false);
}

}  // namespace tsumugi
