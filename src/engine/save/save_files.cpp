#include "engine/save/save_files.h"

#include "common/file_lookup.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/engine_options.h"
#include "engine/messages.h"
#include "engine/save/shown_pages.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/reader.h"
#include "engine/startup/settings.h"
#include "engine/vars/variables.h"
#include "platform/host.h"

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

SaveFiles::SaveFiles(HostDialogs& dialogs, GameStorage& storage, const EngineOptions& options,
                     Settings& settings, Catalogue& catalogue, Script& script, Variables& vars,
                     ButtonsState& buttons_state, CallMemoryState& calls_state,
                     TextWindowState& text_state, VariableState& vars_state)
    : dialogs_(dialogs),
      storage_(storage),
      options_(options),
      settings_(settings),
      catalogue_(catalogue),
      script_(script),
      vars_(vars),
      buttons_state_(buttons_state),
      calls_state_(calls_state),
      text_state_(text_state),
      vars_state_(vars_state) {}

// --- The state ---------------------------------------------------------------------

SaveState SaveFiles::CaptureMemories() const {
  SaveState state;
  state.CallFile = calls_state_.MemoryFile;
  state.CallLine = calls_state_.MemoryLine;
  state.Recall = text_state_.RecallMemories;
  state.Button = buttons_state_.ButtonMemories;
  state.Flags = vars_state_.Flags;
  return state;
}

SaveState SaveFiles::Capture() const {
  SaveState state = CaptureMemories();
  const VariableState& vars = vars_state_;
  for (size_t i = 0; i < vars.IntegerNames.size(); ++i) {
    state.VariableLines.push_back(u".let " + vars.IntegerNames[i] + u" = " +
                                  ToDecimal(vars.IntegerValues[i]));
  }
  for (size_t i = 0; i < vars.TextNames.size(); ++i) {
    state.VariableLines.push_back(u".let " + vars.TextNames[i] + u" = " + vars.TextValues[i]);
  }
  return state;
}

void SaveFiles::Restore(SaveState state) {
  // A save file keeps the game's own lines of a page, not what was shown of
  // them (a translation): that stays only for a page the file gives back
  // unchanged.
  const auto keep_shown = [](PageMemoryTable& read, const PageMemoryTable& before) {
    for (size_t i = 0; i < read.size(); ++i) {
      PageMemory& m = read[i];
      const PageMemory& old = before[i];
      if (m.File != old.File || m.Line != old.Line || m.LastLine != old.LastLine ||
          m.CurrentLine != old.CurrentLine || m.Lines != old.Lines) {
        m.Shown.clear();
        m.ShownLastLine = -1;
        m.ShownCurrentLine = 0;
      }
    }
  };
  keep_shown(state.Recall, text_state_.RecallMemories);
  keep_shown(state.Button, buttons_state_.ButtonMemories);
  calls_state_.MemoryFile = state.CallFile;
  calls_state_.MemoryLine = state.CallLine;
  text_state_.RecallMemories = std::move(state.Recall);
  buttons_state_.ButtonMemories = std::move(state.Button);
  vars_state_.Flags = state.Flags;
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
      SaveFileNameFor(std::move(word), settings_.ScenarioExtension);
  if (!name) script_.ScriptError(std::u16string(messages::kBadSaveName), false);
  return *name;
}

const SaveFolders& SaveFiles::Folders() {
  if (!folders_) {
    folders_ = storage_.SaveFoldersFor(PathFromUtf16(settings_.ScenarioFolder),
                                       options_.game_folder, options_.save_dir);
    if (!folders_->note.empty()) dialogs_.Diagnostic(folders_->note);
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

fs::path SaveFiles::ShownPagesFile() const {
  // The player's own data, where quick saves go: never the game's folder.
  const fs::path folder =
      options_.save_dir ? *options_.save_dir : storage_.DataFolder(options_.game_folder);
  return folder / "shown-pages";
}

// --- .sav --------------------------------------------------------------------------------

// .sav [NAME]
bool SaveFiles::Sav(CommandArgs& args) {
  const std::u16string name = SaveFileName(args.Text(0));
  const fs::path folder = Folders().write;
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::optional<fs::path> path = PathIn(folder, name);
  if (!path) script_.ScriptError(std::u16string(messages::kBadSaveName), false);

  const std::string bytes = Encode(SaveLines(Capture(), [this](int32_t file) {
    if (file < 1 || file > catalogue_.CatalogueCount()) return std::u16string();
    return catalogue_.File(file).name;
  }));
  std::string error;
  if (!WriteWholeFile(*path, bytes, &error, before_replace)) {
    // The old save is as it was; the player can make room and save again.
    dialogs_.MessageBoxOk(u"セーブファイル「" + Utf8ToUtf16(PathToUtf8(*path)) +
                          u"」に書き込めませんでした\r\n" + Utf8ToUtf16(error));
  } else if (options_.TextLaidOutOtherwise()) {
    KeepShownPages(ShownPagesFile(), text_state_.RecallMemories, buttons_state_.ButtonMemories);
  }
  return false;
}

// --- .lod --------------------------------------------------------------------------------

void SaveFiles::ReportUnreadable(const fs::path& file, const std::u16string& why) {
  dialogs_.MessageBoxOk(u"セーブファイル「" + Utf8ToUtf16(PathToUtf8(file)) +
                        u"」を読み込めませんでした\r\n" + why + u"\r\nロードせずに続けます");
}

std::optional<GameText> SaveFiles::ReadText(const std::u16string& name, fs::path* found) {
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
    if (!ReadWholeFile(*path, &bytes, &error, kMaxSaveBytes)) {
      ReportUnreadable(*path, Utf8ToUtf16(error));
      return std::nullopt;
    }
    // The file is held as its bytes; lines are decoded one at a time.
    GameText text(std::move(bytes));
    if (text.binary()) {
      ReportUnreadable(*path, u"テキストファイルではありません");
      return std::nullopt;
    }
    return text;
  }
  return std::nullopt;
}

// .lod [NAME [FLAG-OR-VARIABLE]]
bool SaveFiles::Lod(CommandArgs& args) {
  const std::u16string& word = args.Text(0);
  // Without a name the whole default save is loaded, whatever follows.
  const std::u16string what = word.empty() ? u"" : args.Text(1);
  const std::u16string name = SaveFileName(word);
  fs::path file;
  const std::optional<GameText> text = ReadText(name, &file);
  if (!text) return false;
  if (what.empty()) {
    LoadAll(*text, file);
  } else if (Variables::IsFlagWord(what)) {
    LoadFlag(*text, file, what);
  } else {
    LoadVariable(*text, file, what);
  }
  return false;
}

void SaveFiles::LoadAll(const GameText& text, const fs::path& file) {
  // The whole file is read and checked before anything changes. The
  // variable lines stay in the file's text until they run.
  SaveState state = CaptureMemories();
  size_t variables = 0;
  const std::optional<SaveFormatError> error = ReadSave(
      text, &state, [this](const std::u16string& name) { return script_.FindScenario(name); },
      &variables);
  if (error) {
    ReportUnreadable(file, ToDecimal(error->line) + u"行目：" + error->what);
    return;
  }
  Restore(std::move(state));
  if (options_.TextLaidOutOtherwise()) {
    PutBackShownPages(ShownPagesFile(), text_state_.RecallMemories, buttons_state_.ButtonMemories);
  }
  // The variables pass through ".let", as the lines say.
  ForEachVariableLine(text, variables,
                      [this](std::u16string line) { script_.ExecuteLine(std::move(line)); });
}

// The lines of a save file one at a time, decoded, with their numbers; a
// line too long for any save file is reported and ends the reading.
class SaveFiles::LineWalk {
 public:
  LineWalk(SaveFiles& saves, const GameText& text, const fs::path& file)
      : saves_(saves), text_(text), file_(file), at_(text.Start()) {}

  // The next line into `line`; false at the end, or after a line too long.
  bool Next(std::u16string* line) {
    std::string_view bytes;
    if (!text_.NextLine(&at_, &bytes)) return false;
    ++number_;
    if (DecodeSaveLine(text_, bytes, line)) return true;
    TooLong();
    return false;
  }
  // Reports the line last read as too long.
  void TooLong() {
    saves_.ReportUnreadable(file_, ToDecimal(number_) + u"行目：行が長すぎます（" +
                                       ToDecimal(static_cast<int32_t>(kMaxSaveLineText)) +
                                       u"文字まで）");
    damaged_ = true;
  }
  // A line too long was met (and reported).
  bool damaged() const { return damaged_; }

 private:
  SaveFiles& saves_;
  const GameText& text_;
  const fs::path& file_;
  size_t at_;
  int32_t number_ = 0;
  bool damaged_ = false;
};

void SaveFiles::LoadFlag(const GameText& text, const fs::path& file, const std::u16string& flag) {
  const int number = vars_.FlagNumber(flag);
  const size_t row = static_cast<size_t>(number / 16);
  const size_t column = static_cast<size_t>(number % 16);
  LineWalk walk(*this, text, file);
  std::u16string line;
  bool found = false;
  while (!found && walk.Next(&line)) found = line == u":FlagSection";
  for (size_t i = 0; found && walk.Next(&line); ++i) {
    if (i < row) continue;
    if (line.size() <= column) break;
    vars_.WriteFlag(number, line[column] != u'0');
    return;
  }
  if (!walk.damaged()) ReportUnreadable(file, u"フラグ " + flag + u" がありません");
}

void SaveFiles::LoadVariable(const GameText& text, const fs::path& file,
                             const std::u16string& name) {
  LineWalk walk(*this, text, file);
  std::u16string line;
  bool found = false;
  while (!found && walk.Next(&line)) found = line == u":VarSection";
  if (walk.damaged()) return;
  if (!found) {
    ReportUnreadable(file, u"「:VarSection」がありません");
    return;
  }
  const std::u16string head = u".let " + name + u" = ";
  while (walk.Next(&line)) {
    // A variable line is as long as a line of a save file may be, whole.
    if (line.size() > kMaxSaveLineText) return walk.TooLong();
    if (line.starts_with(head)) {
      script_.ExecuteLine(std::move(line));
      return;
    }
  }
  if (walk.damaged()) return;
  script_.ScriptError(u"セーブファイル内に存在しない変数を参照しました", false);
}

}  // namespace tsumugi
