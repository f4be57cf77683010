#include "check/checker.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>

#include "common/file_lookup.h"
#include "common/game_text.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/buttons/buttons.h"
#include "engine/graphics/pages.h"
#include "engine/graphics/transitions.h"
#include "engine/messages.h"
#include "engine/save/save_files.h"
#include "engine/script/block_scan.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_table.h"
#include "engine/script/scenario_outline.h"
#include "engine/startup/config_file.h"
#include "engine/startup/settings.h"
#include "engine/startup/startup.h"
#include "engine/text/text_window.h"
#include "engine/vars/number_text.h"
#include "engine/vars/reference_walk.h"
#include "engine/vars/variables.h"

namespace tsumugi::check {

namespace fs = std::filesystem;

namespace {

// Stands in a text for a value substituted into it, which a reading cannot
// know: a name, number or colour holding it is built by substitution and
// is not checked.
constexpr char16_t kUnknown = u'\uE000';

std::string Quote(std::u16string_view text) { return "\"" + Utf16ToUtf8(text) + "\""; }

struct Expanded {
  std::u16string text;
  // Some part of it is the value of a variable.
  bool built = false;
};

bool Built(std::u16string_view text) { return text.find(kUnknown) != std::u16string_view::npos; }

// Reads a text file of the game; false when it cannot be read.
bool ReadGameText(const fs::path& path, GameText* text, std::string* error, FileProblem* problem) {
  std::string bytes;
  if (!ReadWholeFile(path, &bytes, error, kMaxTextFileBytes, problem)) return false;
  *text = GameText(std::move(bytes));
  return true;
}

// A scenario of the catalogue, as the checks of other files need it.
struct Scenario {
  fs::path path;
  // It was read (when not, that is reported and its lines are not checked).
  bool read = false;
  bool binary = false;
  // The hash of each label name with the number of the first line that
  // carries it, sorted by hash: jumps and the check of labels written twice
  // need no more, and no file's lines are held while others are checked.
  std::vector<std::pair<uint64_t, int>> labels;

  static uint64_t LabelHash(std::u16string_view name) {
    return std::hash<std::u16string_view>{}(name);
  }
  // The first line of a label, or 0 when there is none.
  int LabelLine(std::u16string_view name) const { return LabelLine(LabelHash(name)); }
  int LabelLine(uint64_t hash) const {
    const auto it = std::lower_bound(labels.begin(), labels.end(), std::make_pair(hash, 0));
    return it != labels.end() && it->first == hash ? it->second : 0;
  }
};

// The findings of one file, held until the file has been read so that they
// can be handed on in line order. At most kMaxFindingsPerFile are kept: the
// first in line order (in the order found within a line); the others are
// counted.
class FileFindings {
 public:
  explicit FileFindings(fs::path file) : file_(std::move(file)) {}

  const fs::path& file() const { return file_; }

  // Findings reported while early is set come first among those of their
  // line (a file's blocks are checked after its lines, but said first).
  void ReportEarly(bool early) { early_ = early; }

  void Add(int line, Severity severity, std::string message) {
    Kept kept{line, early_ ? early_order_++ : order_++, severity, std::move(message)};
    if (kept_.size() < kMaxFindingsPerFile) {
      kept_.push_back(std::move(kept));
      if (kept_.size() == kMaxFindingsPerFile) std::make_heap(kept_.begin(), kept_.end());
      return;
    }
    // Full: the last finding kept in line order makes room for an earlier one.
    if (!(kept < kept_.front())) {
      LeaveOut(kept.severity);
      return;
    }
    std::pop_heap(kept_.begin(), kept_.end());
    LeaveOut(kept_.back().severity);
    kept_.back() = std::move(kept);
    std::push_heap(kept_.begin(), kept_.end());
  }

  void Emit(const std::function<void(const Finding&)>& emit) {
    std::sort(kept_.begin(), kept_.end());
    Finding finding{file_, 0, Severity::kError, {}};
    for (Kept& kept : kept_) {
      finding.line = kept.line;
      finding.severity = kept.severity;
      finding.message = std::move(kept.message);
      emit(finding);
    }
    kept_.clear();
    if (left_out_errors_ + left_out_warnings_ == 0) return;
    finding.line = 0;
    finding.severity = Severity::kNote;
    finding.message = std::to_string(left_out_errors_ + left_out_warnings_) +
                      " more findings in this file are not listed (" +
                      std::to_string(left_out_errors_) + " errors, " +
                      std::to_string(left_out_warnings_) + " warnings): only the first " +
                      std::to_string(kMaxFindingsPerFile) + " of a file are";
    emit(finding);
  }

 private:
  struct Kept {
    int line;
    uint64_t order;
    Severity severity;
    std::string message;
    bool operator<(const Kept& other) const {
      return line != other.line ? line < other.line : order < other.order;
    }
  };
  void LeaveOut(Severity severity) {
    ++(severity == Severity::kError ? left_out_errors_ : left_out_warnings_);
  }

  fs::path file_;
  std::vector<Kept> kept_;
  bool early_ = false;
  uint64_t early_order_ = 0;
  uint64_t order_ = uint64_t{1} << 62;
  size_t left_out_errors_ = 0;
  size_t left_out_warnings_ = 0;
};

class GameChecker {
 public:
  GameChecker(const CheckOptions& options, const std::function<void(const Finding&)>& emit)
      : options_(options),
        root_(RealPath(options.game_folder).value_or(options.game_folder)),
        emit_(emit) {}

  CheckCounts Run();

 private:
  // --- Reporting ---------------------------------------------------------
  void Report(Severity severity, const fs::path& file, int line, std::string message) {
    FindingsOf(file).Add(line, severity, std::move(message));
    Count(severity);
  }
  void Error(std::string message) {
    findings_->Add(line_, Severity::kError, std::move(message));
    Count(Severity::kError);
  }
  void Warning(std::string message) {
    findings_->Add(line_, Severity::kWarning, std::move(message));
    Count(Severity::kWarning);
  }
  void Count(Severity severity) {
    ++(severity == Severity::kError ? counts_.errors : counts_.warnings);
  }
  // The findings held for a file, new ones after those of the files met
  // before it.
  FileFindings& FindingsOf(const fs::path& file);
  // Hands on the findings held, file by file in the order met, and forgets
  // them.
  void EmitHeld();
  // Sets the file the lines being checked belong to.
  void Enter(const fs::path& file) { findings_ = &FindingsOf(file); }

  // The engine's own message, for the author to recognise it. The same few
  // messages come again and again: each is converted once.
  std::string Stops(std::u16string_view message) {
    if (const auto it = stops_.find(message); it != stops_.end()) return it->second;
    std::string text = " (the engine stops with \"" + Utf16ToUtf8(message) + "\")";
    if (stops_.size() < 1024) stops_.emplace(message, text);
    return text;
  }

  // --- The game ------------------------------------------------------------
  bool ReadSettings();
  void ReadConfig();
  void ConfigLine(std::u16string_view line);
  bool ReadCatalogue();
  void CheckScenario(const Scenario& scenario);

  // --- Lines -----------------------------------------------------------------
  void CheckBlocks(const ScenarioOutline& outline);
  void CheckLine(std::u16string_view line, LineRole role);
  void CheckCommand(std::u16string_view line);
  // What the checks of a command line's words have seen so far, for those
  // that depend on a word before them.
  struct LineWalk {
    std::u16string_view command;
    // A scenario named, checked with the label after it, if any.
    std::optional<std::u16string_view> scenario;
    // A media file named, checked when its mode plays.
    std::optional<std::u16string_view> media;
    std::u16string_view extension;
    std::optional<Expanded> target;
    std::optional<Expanded> save_name;
  };
  // The form a choice leads to, the words it decides by taken; nullptr when
  // the choice depends on a substituted value.
  const FormNode* Chosen(std::span<const Branch> branches, LineWords& words);
  void CheckArgument(const ArgDef& arg, std::u16string_view word, LineWalk& walk);
  void CheckDestination(const Expanded& destination);
  void CheckSource(const Expanded& source, bool sprite);
  void CheckEffect(const Expanded& effect);
  void CheckButtonDefinition(std::u16string_view line);
  void CheckCaseLine(std::u16string_view line);

  // --- Values ----------------------------------------------------------------
  Expanded Expand(std::u16string_view text);
  void CheckReference(std::u16string_view inner);
  void CheckFlag(std::u16string_view word);
  // An argument read as an integer; its value when it is written as a
  // number (or substitutes to one).
  std::optional<int32_t> CheckInteger(std::u16string_view word);
  // Whether the engine reads the word as an integer rather than a label or
  // name; nullopt when that depends on a substituted value.
  std::optional<bool> IsIntegerArgument(std::u16string_view word);
  void CheckExpression(std::u16string_view text);
  void CheckColour(std::u16string_view word);
  void CheckMemory(std::u16string_view word);
  void CheckAssignment(const Expanded& target, bool text_allowed);
  void CheckShownText(std::u16string_view text);
  bool IsInteger(std::u16string_view name) const {
    return std::binary_search(integers_.begin(), integers_.end(), name);
  }
  bool IsText(std::u16string_view name) const {
    return std::binary_search(texts_.begin(), texts_.end(), name);
  }

  // --- Files -----------------------------------------------------------------
  void CheckJump(std::u16string_view file_word, std::u16string_view label_word,
                 std::u16string_view command);
  void CheckPicture(std::u16string_view word);
  void CheckPictureName(const std::u16string& name);
  void CheckMedia(std::u16string_view word, std::u16string_view extension);
  void CheckPage(const std::u16string& word);
  // Reports a named file that is missing or spelt otherwise on disk; true
  // when it is there at all.
  bool FindNamed(const std::u16string& name, std::string* cause);

  const CheckOptions& options_;
  const fs::path root_;
  Settings settings_;
  fs::path scenario_folder_;
  std::vector<std::u16string> integers_;
  std::vector<std::u16string> texts_;
  int page_count_ = Pages::kDefaultPageCount;
  std::vector<std::u16string> names_;
  std::vector<Scenario> files_;

  // What the lookup of each file name a game uses found.
  struct NamedFile {
    bool found = false;
    std::string cause;          // why it was not found, when not for being missing
    std::string spelt_on_disk;  // the name on disk, when it differs from the one used
  };
  std::unordered_map<std::u16string, NamedFile> lookups_;
  std::unordered_map<std::u16string, std::string, LabelHash, std::equal_to<>> stops_;

  // Where the line being checked is: its number and the findings of its
  // file.
  int line_ = 0;
  FileFindings* findings_ = nullptr;

  // The files with findings not yet handed on, in the order met.
  std::vector<std::unique_ptr<FileFindings>> held_;
  const std::function<void(const Finding&)>& emit_;
  CheckCounts counts_;
};

// --- The game --------------------------------------------------------------------

FileFindings& GameChecker::FindingsOf(const fs::path& file) {
  if (findings_ && findings_->file().native() == file.native()) return *findings_;
  for (const auto& held : held_) {
    if (held->file().native() == file.native()) return *held;
  }
  held_.push_back(std::make_unique<FileFindings>(file));
  return *held_.back();
}

void GameChecker::EmitHeld() {
  for (const auto& held : held_) held->Emit(emit_);
  held_.clear();
  findings_ = nullptr;
}

CheckCounts GameChecker::Run() {
  if (ReadSettings()) {
    ReadConfig();
    if (ReadCatalogue()) {
      // A scenario already reported about (an unreadable one, or the
      // settings file read as a scenario) keeps its place among the files
      // met first, its lines' findings with it.
      std::vector<bool> checked(files_.size(), false);
      for (size_t i = 0; i < files_.size(); ++i) {
        for (const auto& held : held_) {
          if (held->file().native() != files_[i].path.native()) continue;
          CheckScenario(files_[i]);
          checked[i] = true;
          break;
        }
      }
      EmitHeld();
      // The others one by one: only one file's findings are held at a time.
      for (size_t i = 0; i < files_.size(); ++i) {
        if (checked[i]) continue;
        CheckScenario(files_[i]);
        EmitHeld();
      }
    }
  }
  EmitHeld();
  return counts_;
}

bool GameChecker::ReadSettings() {
  std::string causes;
  const std::optional<std::u16string> refusal = ReadGameSettings(
      {options_.game_folder, options_.settings_file, root_,
       [&](const std::string& text) { causes += (causes.empty() ? "" : "; ") + text; }},
      settings_);
  if (!refusal) {
    scenario_folder_ = PathFromUtf16(settings_.ScenarioFolder);
    return true;
  }
  const bool has_file = FileKindProblem(options_.settings_file) != FileProblem::kMissing;
  std::string message = "the engine does not start: \"" + Utf16ToUtf8(*refusal) + "\"";
  if (!causes.empty()) message += " (" + causes + ")";
  Report(Severity::kError, has_file ? options_.settings_file : options_.game_folder, 0, message);
  return false;
}

void GameChecker::ReadConfig() {
  const std::u16string name = u"config" + settings_.ScenarioExtension;
  const GameFile found = FindGameFile(root_, scenario_folder_, Utf16ToUtf8(name));
  // Names with the lines that declare them, integers and texts.
  std::vector<std::pair<std::u16string, int>> declared[2];
  if (found.path) {
    std::string error;
    FileProblem problem;
    GameText text;
    if (!ReadGameText(*found.path, &text, &error, &problem)) {
      Report(Severity::kError, *found.path, 0, "cannot be read: " + error);
    } else {
      const fs::path& path = *found.path;
      Enter(path);
      int count = 0;
      line_ = 0;
      text.ForEachLine([&](std::string_view bytes) {
        ++line_;
        if (count > ConfigFile::kMaxVariables) return;
        const std::u16string raw = text.Decode(bytes);
        const std::u16string_view line = WithoutLeadingTabs(raw);
        LineWords words{line};
        const std::u16string_view first = words.Next();
        if (first != u".int" && first != u".str") {
          ConfigLine(line);
          return;
        }
        // Declarations run to the end of the line or to two spaces in a row.
        std::vector<std::u16string> names;
        for (std::u16string_view word = words.Next(); !word.empty(); word = words.Next()) {
          names.clear();
          if (!ExpandDeclarationWord(word, names)) {
            Error("declaration " + Quote(word) + " is not a name, name[COUNT] or " +
                  "name[COUNT^PICTURE]" + Stops(messages::BadDeclaration(word)));
            continue;
          }
          count += static_cast<int>(names.size());
          if (count > ConfigFile::kMaxVariables) {
            Error("more than " + std::to_string(ConfigFile::kMaxVariables) + " variables declared" +
                  Stops(messages::kTooManyVariables));
            break;
          }
          for (std::u16string& n : names) declared[first == u".int" ? 0 : 1].emplace_back(std::move(n), line_);
        }
      });
      // A name declared twice is one variable; the second declaration was
      // probably meant to be another.
      for (auto& list : declared) {
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t i = 1; i < list.size(); ++i) {
          if (list[i].first != list[i - 1].first) continue;
          if (i >= 2 && list[i].first == list[i - 2].first) continue;
          Report(Severity::kWarning, path, list[i].second,
                 "variable " + Quote(list[i].first) + " is already declared on line " +
                     std::to_string(list[i - 1].second));
        }
      }
      for (auto& [text_name, text_line] : declared[1]) {
        const auto it = std::lower_bound(
            declared[0].begin(), declared[0].end(), text_name,
            [](const auto& entry, const std::u16string& n) { return entry.first < n; });
        if (it == declared[0].end() || it->first != text_name) continue;
        Report(Severity::kWarning, path, text_line,
               "variable " + Quote(text_name) + " is declared as an integer on line " +
                   std::to_string(it->second) + ": it is an integer, never a text");
      }
    }
  } else if (found.problem != FileProblem::kMissing) {
    Report(Severity::kError, scenario_folder_ / PathFromUtf16(name), 0,
           "the configuration file cannot be read: " + found.cause);
  }
  for (int kind = 0; kind < 2; ++kind) {
    std::vector<std::u16string>& table = kind == 0 ? integers_ : texts_;
    table.reserve(declared[kind].size() + 4);
    for (auto& entry : declared[kind]) table.push_back(std::move(entry.first));
    declared[kind] = {};
  }
  for (const char16_t* predefined : {u"on", u"off", u"cx", u"cy"}) integers_.emplace_back(predefined);
  std::sort(integers_.begin(), integers_.end());
  std::sort(texts_.begin(), texts_.end());
}

void GameChecker::ConfigLine(std::u16string_view line) {
  LineWords words{line};
  const std::u16string_view first = words.Next();
  if (first == u".cur" || first == u".bsc") {
    // Run as the command of that name: its arguments are the rest.
    const std::u16string command = std::u16string(first) + u" " + std::u16string(words.rest);
    CheckCommand(command);
  } else if (first == u".cmd") {
    CheckInteger(words.rest);
  } else if (first == u".scr") {
    if (const std::optional<int32_t> n = CheckInteger(words.rest)) {
      if (*n > Pages::kMaxPageCount) {
        Error("more than " + std::to_string(Pages::kMaxPageCount) + " pages" +
              Stops(messages::kTooManyPages));
      } else if (*n >= 0) {
        page_count_ = *n;
      }
    }
  }
}

bool GameChecker::ReadCatalogue() {
  std::string causes;
  std::vector<FoundScenario> found = ListScenarioFiles(
      {scenario_folder_, settings_.ScenarioExtension, root_,
       [&](const std::string& text) { Report(Severity::kWarning, scenario_folder_, 0, text); }},
      Catalogue::kMaxFiles);
  const std::u16string extension = settings_.ScenarioExtension;
  if (found.empty()) {
    Report(Severity::kError, scenario_folder_, 0,
           "no scenario file (*" + Utf16ToUtf8(extension) + ") in the scenario folder" +
               Stops(messages::kNoScenarioFiles));
    return false;
  }
  if (found.size() > Catalogue::kMaxFiles) {
    Report(Severity::kError, scenario_folder_, 0,
           "more than " + std::to_string(Catalogue::kMaxFiles) + " scenario files" +
               Stops(messages::kTooManyScenarioFiles));
    return false;
  }
  GameText text;
  for (FoundScenario& entry : found) {
    Scenario file;
    file.path = entry.path;
    std::string error;
    FileProblem problem;
    if (!ReadGameText(entry.path, &text, &error, &problem)) {
      Report(Severity::kError, entry.path, 0, "cannot be read: " + error);
    } else if (text.binary()) {
      // It is listed, but a jump to it stops the engine.
      file.read = file.binary = true;
      Report(entry.name == u"start" ? Severity::kError : Severity::kWarning, entry.path, 0,
             "is not a text file (it holds NUL bytes): the engine refuses to run it");
    } else {
      file.read = true;
      // Labels: the lines that begin with ":" after their tabs (which no
      // byte of a character can be), the first line of a name winning.
      int number = 0;
      text.ForEachLine([&](std::string_view bytes) {
        ++number;
        const size_t first = bytes.find_first_not_of('\t');
        if (first == std::string_view::npos || bytes[first] != ':') return;
        const std::u16string line = text.Decode(bytes);
        file.labels.emplace_back(Scenario::LabelHash(WithoutLeadingTabs(line).substr(1)), number);
      });
      std::stable_sort(file.labels.begin(), file.labels.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      file.labels.erase(std::unique(file.labels.begin(), file.labels.end(),
                                    [](const auto& a, const auto& b) { return a.first == b.first; }),
                        file.labels.end());
      file.labels.shrink_to_fit();
    }
    names_.push_back(std::move(entry.name));
    files_.push_back(std::move(file));
  }
  if (!std::binary_search(names_.begin(), names_.end(), u"start")) {
    Report(Severity::kError, scenario_folder_, 0,
           "no scenario \"start\" to begin with" +
               Stops(messages::NoStartScenario(u"start" + extension)));
  }
  return true;
}

// --- Blocks and flow --------------------------------------------------------------

const char* BlockName(BlockKind kind) {
  switch (kind) {
    case BlockKind::kCase:
      return "\".cas\" block";
    case BlockKind::kChoice:
      return "menu (\".slt\")";
    case BlockKind::kButtons:
      return "button block (\".btn\")";
    case BlockKind::kRecall:
      return "recall block (\".rcl\")";
  }
  return "block";
}

void GameChecker::CheckBlocks(const ScenarioOutline& outline) {
  if (outline.uncertain_recall != 0) {
    // The nesting after such a line is known only when it runs.
    line_ = outline.uncertain_recall;
    Warning(
        "the first word of this \".rcl\" is built by substitution: whether it opens a block is "
        "known only when it runs, so the blocks of this file are not checked");
    return;
  }
  for (int close : outline.stray_closes) {
    line_ = close;
    Error("\".\" closes no block: the blocks before it are already closed");
  }
  for (const OutlineBlock& block : outline.blocks) {
    line_ = block.open_line;
    if (block.close_line == 0) {
      Error(std::string(BlockName(block.kind)) +
            " is never closed: the file ends before the line holding only \".\" that closes it");
    }
    if (block.kind == BlockKind::kCase) continue;
    if (block.kind == BlockKind::kRecall) continue;
    const bool menu = block.kind == BlockKind::kChoice;
    const char* item = menu ? "choice" : "button";
    if (block.kind == BlockKind::kButtons && block.items > Buttons::kMaxButtons) {
      Error("more than " + std::to_string(Buttons::kMaxButtons) + " buttons" +
            Stops(messages::kTooManyButtons));
    }
    // Each item needs its branch marker; a marker no item leads to, or a
    // second one of a number, never runs.
    std::vector<int> marker_line(static_cast<size_t>(block.items) + 1, 0);
    for (const auto& [n, line] : block.markers) {
      line_ = line;
      if (n > block.items) {
        Warning("no " + std::string(item) + " " + std::to_string(n) + " leads to this marker: the " +
                BlockName(block.kind) + " on line " + std::to_string(block.open_line) + " has " +
                std::to_string(block.items) + ", so its branch never runs");
      } else if (marker_line[n] != 0) {
        Warning("marker \"." + std::to_string(n) + "\" is also on line " +
                std::to_string(marker_line[n]) + ": only that one is found");
      } else {
        marker_line[n] = line;
      }
    }
    line_ = block.open_line;
    for (int n = 1; n <= block.items; ++n) {
      if (marker_line[n] != 0) continue;
      const std::u16string target = u"." + ToDecimal(n);
      Error(std::string(menu ? "menu" : "button block") + " has no branch marker \"." +
            std::to_string(n) + "\" for its " + item + " " + std::to_string(n) +
            Stops(menu ? messages::NoChoiceBranch(target) : messages::NoButtonBranch(target)));
    }
  }
}

// Whether running a line goes on with the next line of the file.
bool GoesOn(std::u16string_view line, LineRole role) {
  switch (role) {
    case LineRole::kText:
    case LineRole::kComment:
    case LineRole::kLabel:
      return true;
    case LineRole::kChoice:
    case LineRole::kButton:
      return false;
    case LineRole::kListEnd:
      // The lines after ".0" run as soon as the menu is laid out.
      return line == u".0";
    case LineRole::kMarker:
    case LineRole::kCase:
    case LineRole::kClose:
      // Branches and blocks are entered after these lines.
      return true;
    case LineRole::kCommand:
      break;
  }
  const std::u16string_view name = line.substr(1, 3);
  const std::u16string_view first = FirstArgument(line);
  // A menu and a button block go on with their lists, a ".cas" with one of
  // its cases; the others here leave for good.
  if (name == u"end" || name == u"jmp" || name == u"skp" || name == u"cas" || name == u"slt" ||
      name == u"btn") {
    return false;
  }
  // A call comes back; a recall point's block runs when the player returns.
  if (name == u"sub" || name == u"rcl") return first != u"exit";
  return true;
}

// The command that stops the flow, for messages.
std::string Stopper(std::u16string_view line, LineRole role) {
  if (role == LineRole::kChoice) return "the list of choices";
  if (role == LineRole::kButton) return "the list of buttons";
  if (role == LineRole::kListEnd) return "the end of a list";
  return Quote(line.substr(0, std::min(line.find(u' '), line.size())));
}

void GameChecker::CheckScenario(const Scenario& scenario) {
  if (!scenario.read || scenario.binary) return;
  Enter(scenario.path);
  // Read again: only the file being checked is held.
  GameText text;
  std::string error;
  FileProblem problem;
  if (!ReadGameText(scenario.path, &text, &error, &problem)) {
    line_ = 0;
    Error("cannot be read: " + error);
    return;
  }

  // One reading: each line is outlined, then checked. The outline of a
  // line depends only on the lines before it.
  ScenarioOutliner outliner;
  // The first label of a name whose first line beginning with ":" is a
  // line of a list (rare; other labels need nothing beyond the index).
  std::unordered_map<uint64_t, int> first_label;
  // Per block: bit 0, its list of choices ended with ".0", so that the
  // lines after ".0" run as soon as the menu is laid out and stop at its
  // first ".1" without a fault; bit 1, a ".1" of it has been met.
  std::vector<uint8_t> block_marks;
  bool reached = true;  // the first line is where a jump without a label lands
  int stopped_at = 0;   // the line that stopped the flow before, while not reached
  std::string_view stopped_by;  // that line, as on disk
  bool reported = false;
  line_ = 0;
  text.ForEachLine([&](std::string_view bytes) {
    ++line_;
    const std::u16string raw = text.Decode(bytes);
    outliner.Add(raw);
    const ScenarioOutline& so_far = outliner.SoFar();
    const std::u16string_view line = WithoutLeadingTabs(raw);
    const LineRole role = so_far.roles.back();
    block_marks.resize(so_far.blocks.size(), 0);

    // The flow: whether the lines before run on into this one.
    bool may_reach = false;
    if (role == LineRole::kListEnd && line == u".0" &&
        so_far.blocks[static_cast<size_t>(outliner.Innermost())].kind == BlockKind::kChoice) {
      block_marks[static_cast<size_t>(outliner.Innermost())] |= 1;
    } else if (role == LineRole::kMarker && outliner.Innermost() >= 0) {
      uint8_t& marks = block_marks[static_cast<size_t>(outliner.Innermost())];
      if (so_far.blocks[static_cast<size_t>(outliner.Innermost())].markers.back().first == 1 &&
          !(marks & 2)) {
        may_reach = (marks & 1) != 0;
        marks |= 2;
      }
    } else if (role == LineRole::kClose && !so_far.stray_closes.empty() &&
               so_far.stray_closes.back() == line_) {
      may_reach = true;  // reported as a close of no block
    }
    const bool structure =
        role == LineRole::kMarker || role == LineRole::kCase || role == LineRole::kClose;
    if (reached && structure && line_ > 1 && !may_reach) {
      Error("the line before runs on into " + Quote(line) +
            ", which is no command: end the branch with \".skp\" or a jump" +
            Stops(messages::kUnknownCommand));
    }
    if (role == LineRole::kLabel || structure) {
      reached = true;
      reported = false;
    } else if (!reached && !reported && (role == LineRole::kCommand ||
                                         (role == LineRole::kText && !line.empty()))) {
      const std::u16string stop_raw = text.Decode(stopped_by);
      Warning("this line can never run: " +
              Stopper(WithoutLeadingTabs(stop_raw), so_far.roles[stopped_at - 1]) +
              " on line " + std::to_string(stopped_at) +
              " does not go on to it, and no label comes between");
      reported = true;
    }
    const bool goes_on = GoesOn(line, role);
    if (reached && !goes_on) {
      reached = false;
      stopped_at = line_;
      stopped_by = bytes;
    } else if (goes_on && role == LineRole::kListEnd) {
      reached = true;
    }

    // The line's own checks.
    if (role == LineRole::kLabel) {
      // A second label of a name is never found: jumps stop at the first.
      const uint64_t hash = Scenario::LabelHash(line.substr(1));
      int first = scenario.LabelLine(hash);
      if (first == 0 || first > line_ || so_far.roles[first - 1] != LineRole::kLabel) {
        first = first_label.emplace(hash, line_).first->second;
      }
      if (first != line_) {
        Warning("label " + Quote(line) + " is also on line " + std::to_string(first) +
                ": jumps always find that one");
      }
      return;
    }
    CheckLine(line, role);
  });

  // The blocks, known only at the end of the file; their findings come
  // first among those of a line.
  findings_->ReportEarly(true);
  CheckBlocks(outliner.Finish());
  findings_->ReportEarly(false);
}

// --- Lines -------------------------------------------------------------------------

void GameChecker::CheckLine(std::u16string_view line, LineRole role) {
  switch (role) {
    case LineRole::kText:
    case LineRole::kChoice:
      CheckShownText(line);
      break;
    case LineRole::kCommand:
      CheckCommand(line);
      break;
    case LineRole::kButton:
      CheckButtonDefinition(line);
      break;
    case LineRole::kCase:
      CheckCaseLine(line);
      break;
    default:
      break;
  }
}

void GameChecker::CheckShownText(std::u16string_view text) {
  if (text.find(u']') != std::u16string_view::npos) Expand(text);
  for (char16_t c : text) {
    if (c < 0x80 || HasCp932Form(c)) continue;
    Warning("the character " + Quote(std::u16string_view(&c, 1)) +
            " has no form in Shift-JIS (CP932): the old engine could not show it");
    return;
  }
}

void GameChecker::CheckCaseLine(std::u16string_view line) {
  if (line == u".els") return;
  LineWords words{line};
  const std::u16string_view op = words.Next();
  if (ParseCaseOperator(op) == CaseOperator::kNone) {
    Warning(Quote(op) + " is no comparison (.= .== .!= .<> .< .<= .> .>=, followed by a space): "
            "this case never matches");
    return;
  }
  CheckExpression(words.rest);
}

void GameChecker::CheckButtonDefinition(std::u16string_view line) {
  // NORMAL PRESSED [HITMAP] X Y MEMORY
  LineWords words{line};
  CheckPicture(words.Next());
  CheckPicture(words.Next());
  std::u16string_view word = words.Next();
  const std::optional<bool> integer = IsIntegerArgument(word);
  if (!integer) return;
  if (!*integer) {
    CheckPicture(word);
    word = words.Next();
  }
  CheckInteger(word);
  CheckInteger(words.Next());
  CheckMemory(words.Next());
}

void GameChecker::CheckCommand(std::u16string_view line) {
  const std::u16string_view name = line.substr(1, std::min<size_t>(3, line.size() - 1));
  const CommandDef* command = FindCommand(name);
  if (command == nullptr) {
    Error("unknown command " + Quote(line.substr(0, 4)) + Stops(messages::kUnknownCommand));
    return;
  }
  if (name == u"slt" || name == u"btn") {
    const std::u16string_view first_word = FirstArgument(line);
    // (A first word built by substitution may turn out to be "exit".)
    if (line.size() > 4 && first_word != u"exit" && first_word.find(u']') == first_word.npos) {
      Warning(Quote(line.substr(0, 4)) +
              " with more after it opens no block: the \".\" that should close it closes the one "
              "around it");
    }
  }
  // The words are checked form by form as the engine reads them; a choice
  // that depends on a substituted value ends the checks of the line.
  LineWalk walk;
  walk.command = command->name;
  LineWords words = ArgumentsOf(line);
  for (const FormNode* node = command->root; node != nullptr;
       node = node->branches.empty() ? nullptr : Chosen(node->branches, words)) {
    for (size_t i = 0; i < node->args.size(); ++i) {
      const ArgDef& arg = node->args[i];
      std::u16string_view word = words.Take(arg.take);
      if (word.empty() && arg.kind != ArgKind::kMedia) word = arg.detail;
      // A media file is looked for only when its mode plays.
      const bool played_later =
          arg.kind == ArgKind::kMedia &&
          std::any_of(node->args.begin() + static_cast<ptrdiff_t>(i), node->args.end(),
                      [](const ArgDef& a) { return a.kind == ArgKind::kPlayMode; });
      if (played_later) {
        walk.media = word;
        walk.extension = arg.detail;
        continue;
      }
      if (arg.kind != ArgKind::kLabel && walk.scenario) {
        CheckJump(*walk.scenario, u"", walk.command);
        walk.scenario.reset();
      }
      CheckArgument(arg, word, walk);
    }
  }
  if (walk.scenario) CheckJump(*walk.scenario, u"", walk.command);
}

const FormNode* GameChecker::Chosen(std::span<const Branch> branches, LineWords& words) {
  std::optional<Expanded> next;
  for (const Branch& branch : branches) {
    switch (branch.test) {
      case Test::kKeyword:
        if (!next) next = Expand(LineWords(words).Next());
        if (next->built) return nullptr;
        if (next->text != branch.keyword) continue;
        words.Next();
        return branch.next;
      case Test::kRestIs: {
        const Expanded rest = Expand(words.rest);
        if (rest.built) return nullptr;
        if (rest.text != branch.keyword) continue;
        words.Take(Take::kRest);
        return branch.next;
      }
      case Test::kIntegerWord: {
        const std::optional<bool> integer = IsIntegerArgument(LineWords(words).Next());
        if (!integer) return nullptr;
        if (!*integer) continue;
        return branch.next;
      }
      case Test::kNumberAfter: {
        const Expanded second = Expand(words.Second());
        if (second.built) return nullptr;
        if (!second.text.empty() && ParseNumber(second.text).kind == NumberKind::kNotNumeric)
          continue;
        return branch.next;
      }
      case Test::kOtherwise:
        // A word put back is the same word: had it held a substitution, the
        // keywords before would have ended the checks.
        return branch.next;
    }
  }
  return nullptr;
}

void GameChecker::CheckArgument(const ArgDef& arg, std::u16string_view word, LineWalk& walk) {
  switch (arg.kind) {
    case ArgKind::kInteger:
      CheckInteger(word);
      return;
    case ArgKind::kMemory:
      CheckMemory(word);
      return;
    case ArgKind::kLineCount:
      if (const std::optional<int32_t> n = CheckInteger(word)) {
        if (*n <= 0) Error("a window of no lines" + Stops(messages::kMaxlineNotPositive));
        if (*n > TextWindow::kMaxLines) {
          Error("more than " + std::to_string(TextWindow::kMaxLines) + " lines in the window");
        }
      }
      return;
    case ArgKind::kPlayMode: {
      const std::optional<int32_t> mode = CheckInteger(word);
      if (walk.media && (!mode || (*mode >= 0 && *mode <= arg.limit))) {
        CheckMedia(*walk.media, walk.extension);
      }
      walk.media.reset();
      return;
    }
    case ArgKind::kTrack: {
      const Expanded track = Expand(word);
      if (!track.built && !track.text.empty() &&
          ParseNumber(track.text).kind == NumberKind::kNotNumeric) {
        Error("CD track " + Quote(track.text) + " is not a number" +
              Stops(messages::TrackNotNumeric(track.text)));
      }
      return;
    }
    case ArgKind::kText:
      Expand(word);
      return;
    case ArgKind::kShownText:
      CheckShownText(word);
      return;
    case ArgKind::kPicture:
      CheckPicture(word);
      return;
    case ArgKind::kMedia:
      CheckMedia(word, arg.detail);
      return;
    case ArgKind::kScenario:
      walk.scenario = word;
      return;
    case ArgKind::kLabel:
      CheckJump(walk.scenario.value_or(u""), word, walk.command);
      walk.scenario.reset();
      return;
    case ArgKind::kColour:
      CheckColour(word);
      return;
    case ArgKind::kDestination:
      CheckDestination(Expand(word));
      return;
    case ArgKind::kSource:
    case ArgKind::kSpriteSource:
      CheckSource(Expand(word), arg.kind == ArgKind::kSpriteSource);
      return;
    case ArgKind::kEffect:
      CheckEffect(Expand(word));
      return;
    case ArgKind::kPrintPage: {
      const Expanded page = Expand(word);
      if (!page.built && (page.text == u"off1" || page.text == u"off2") &&
          page.text[3] - u'0' > page_count_) {
        Error("no page " + Quote(page.text) + " to print on: the configuration file gives " +
              std::to_string(page_count_) + " pages" + Stops(messages::NoPrintPage(page.text)));
      }
      return;
    }
    case ArgKind::kSaveName: {
      walk.save_name = Expand(word);
      const Expanded& file = *walk.save_name;
      if (!file.built && !SaveFileNameFor(file.text, settings_.ScenarioExtension)) {
        Error("save file name " + Quote(file.text) + " could replace a scenario or lies outside " +
              "the save folder (a name with the scenario extension must begin with \"save\")" +
              Stops(messages::kBadSaveName));
      }
      return;
    }
    case ArgKind::kLoadTarget: {
      // Without a save name the whole save is loaded: the word is not read.
      if (walk.save_name && !walk.save_name->built && walk.save_name->text.empty()) return;
      const Expanded what = Expand(word);
      if (what.built || what.text.empty()) return;
      if (Variables::IsFlagWord(what.text)) {
        CheckFlag(what.text);
      } else if (!IsInteger(what.text) && !IsText(what.text)) {
        Error("variable " + Quote(what.text) + " is not declared in the configuration file" +
              Stops(messages::kAssignsUndeclared));
      }
      return;
    }
    case ArgKind::kIntegerTarget:
      CheckAssignment(Expand(word), false);
      return;
    case ArgKind::kVariableTarget:
      walk.target = Expand(word);
      CheckAssignment(*walk.target, true);
      return;
    case ArgKind::kNowItem: {
      const Expanded item = Expand(word);
      static constexpr std::u16string_view kItems[] = {u"year",   u"month",  u"day",
                                                       u"weekday", u"hour",  u"minute",
                                                       u"second",  u"millisecond"};
      if (!item.built && std::find(std::begin(kItems), std::end(kItems), item.text) == std::end(kItems)) {
        Warning(Quote(item.text) + " is no item of \".now\" (year, month, day, weekday, hour, "
                "minute, second, millisecond): it stores 0");
      }
      return;
    }
    case ArgKind::kExpression:
      CheckExpression(word);
      return;
    case ArgKind::kLetValue: {
      // A text for a text variable, else an expression.
      if (!walk.target || walk.target->built) return;
      const std::u16string& target = walk.target->text;
      if (!Variables::IsFlagWord(target) && !IsInteger(target) && IsText(target)) {
        Expand(word);
      } else {
        CheckExpression(word);
      }
      return;
    }
    case ArgKind::kFontFace:
    case ArgKind::kIgnored:
      return;
  }
}

void GameChecker::CheckDestination(const Expanded& destination) {
  if (destination.built || destination.text == u"screen") return;
  if (destination.text.starts_with(u"off")) {
    CheckPage(destination.text);
  } else {
    Error("no place to draw called " + Quote(destination.text) + " (screen, off1, off2, ...)" +
          Stops(messages::NoDestination(destination.text)));
  }
}

void GameChecker::CheckSource(const Expanded& source, bool sprite) {
  if (source.built) return;
  if (source.text.starts_with(u"off")) {
    CheckPage(source.text);
  } else if (source.text == u"base" && sprite) {
    Error("\".spr\" cannot draw \"base\"" + Stops(messages::kSpriteOfBase));
  } else if (source.text != u"screen" && source.text != u"base") {
    CheckPictureName(source.text);
  }
}

void GameChecker::CheckEffect(const Expanded& effect) {
  if (effect.built || effect.text == u"0") return;
  if (effect.text.size() <= 3) {
    // A wipe: its series begins with the frame "pat" EFFECT "00".
    CheckPictureName(u"pat" + effect.text + u"00");
    return;
  }
  const std::optional<CrossFade> fade = ParseCrossFade(effect.text);
  if (!fade) {
    Error("cross-fade " + Quote(effect.text) + " is not digits (SSEE or SSEEFF)" +
          Stops(messages::CrossFadeNotDigits(effect.text)));
  } else if (fade->count < 1) {
    Error("cross-fade " + Quote(effect.text) + " has no frames" + Stops(messages::kNoFrames));
  }
}

void GameChecker::CheckPage(const std::u16string& word) {
  const ParsedNumber number = ParseNumber(std::u16string_view(word).substr(3));
  if (number.kind == NumberKind::kValue && number.value >= 0 && number.value <= page_count_) return;
  Error("no page " + Quote(word) + ": the configuration file gives pages off1 to off" +
        std::to_string(page_count_) +
        Stops(number.kind == NumberKind::kNotNumeric ? messages::PageNotNumeric(word)
                                                     : messages::NoPage(word)));
}

// --- Values ----------------------------------------------------------------------------

// The engine's walk of substitution; a reference that holds a substituted
// value is not checked and stands for an unknown value itself.
Expanded GameChecker::Expand(std::u16string_view text) {
  if (text.find(u']') == std::u16string_view::npos) return {std::u16string(text), Built(text)};
  std::u16string out =
      SubstituteReferences(text, [&](std::u16string_view inner, std::u16string& out, size_t) {
        if (!Built(inner)) CheckReference(inner);
        out.push_back(kUnknown);
      });
  const bool built = Built(out);
  return {std::move(out), built};
}

void GameChecker::CheckReference(std::u16string_view inner) {
  const size_t caret = inner.find(u'^');
  const std::u16string_view name = inner.substr(0, caret);
  const ParsedNumber number = ParseNumber(name);
  if (number.kind == NumberKind::kOutOfRange) {
    Error("number " + Quote(name) + " is outside -2147483648 to 2147483647");
  } else if (number.kind == NumberKind::kValue) {
    return;
  } else if (Variables::IsFlagWord(name)) {
    CheckFlag(name);
  } else if (IsInteger(name)) {
    return;
  } else if (caret != std::u16string_view::npos) {
    Error("[" + Utf16ToUtf8(inner) + "]: " + Quote(name) +
          (IsText(name) ? " is a text variable; a number picture needs an integer variable"
                        : " is not declared as an integer variable in the configuration file") +
          Stops(messages::kUndeclaredInteger));
  } else if (!IsText(name)) {
    Error("[" + Utf16ToUtf8(inner) + "]: variable " + Quote(name) +
          " is not declared in the configuration file" + Stops(messages::kUndeclaredVariable));
  }
}

void GameChecker::CheckFlag(std::u16string_view word) {
  if (word.size() >= 3) {
    int number = 0;
    bool digits = true;
    for (char16_t c : word.substr(word.size() - 3)) {
      digits = digits && c >= u'0' && c <= u'9';
      number = number * 10 + (c - u'0');
    }
    if (digits && number < Variables::kFlagCount) return;
  }
  Error("flag " + Quote(word) + " does not end in a flag number 000 to 255" +
        Stops(messages::kBadFlagName));
}

std::optional<int32_t> GameChecker::CheckInteger(std::u16string_view word) {
  Expanded expanded;
  if (word.find(u']') != std::u16string_view::npos &&
      ParseNumber(word).kind == NumberKind::kNotNumeric) {
    expanded = Expand(word);
    if (expanded.built) return std::nullopt;
    word = expanded.text;
  }
  const ParsedNumber number = ParseNumber(word);
  if (number.kind == NumberKind::kValue) return number.value;
  if (number.kind == NumberKind::kOutOfRange) {
    Error("number " + Quote(word) + " is outside -2147483648 to 2147483647");
    return std::nullopt;
  }
  if (word.empty()) return 0;
  if (Variables::IsFlagWord(word)) {
    CheckFlag(word);
  } else if (!IsInteger(word)) {
    Error(Quote(word) +
          (IsText(word) ? " is a text variable where a number is needed"
                        : " is neither a number nor an integer variable declared in the "
                          "configuration file") +
          Stops(messages::kUndeclaredInteger));
  }
  return std::nullopt;
}

std::optional<bool> GameChecker::IsIntegerArgument(std::u16string_view word) {
  if (word.empty() || ParseNumber(word).kind != NumberKind::kNotNumeric) return true;
  const Expanded expanded = Expand(word);
  if (expanded.built) return std::nullopt;
  return Variables::IsFlagWord(expanded.text) || IsInteger(expanded.text) ||
         ParseNumber(expanded.text).kind != NumberKind::kNotNumeric;
}

void GameChecker::CheckExpression(std::u16string_view text) {
  LineWords words{text};
  CheckInteger(words.Next());
  while (!words.rest.empty()) {
    const std::u16string_view op = words.Next();
    const std::u16string_view operand = words.Next();
    const std::optional<int32_t> value = CheckInteger(operand);
    if (op != u"+" && op != u"-" && op != u"*" && op != u"/" && op != u"%") {
      Warning(Quote(op) + " is no operator (+ - * / %): it and " + Quote(operand) +
              " after it are passed over");
    } else if ((op == u"/" || op == u"%") && value && *value == 0) {
      Error("division by 0" + Stops(messages::kDivisionByZero));
    }
  }
}

void GameChecker::CheckColour(std::u16string_view word) {
  const Expanded colour = Expand(word);
  if (colour.built) return;
  static constexpr std::u16string_view kNames[] = {
      u"black",   u"red",      u"green",     u"yellow",     u"blue",        u"magenta",
      u"cyan",    u"white",    u"darkred",   u"darkgreen",  u"darkyellow",  u"darkblue",
      u"darkmagenta", u"darkcyan", u"gray", u"darkgray"};
  if (std::find(std::begin(kNames), std::end(kNames), colour.text) != std::end(kNames)) return;
  if (colour.text.size() == 6 && ParseHex(colour.text, 6)) return;
  Error("colour " + Quote(colour.text) + " is neither a colour name nor six hexadecimal digits" +
        Stops(messages::kNoColour));
}

void GameChecker::CheckMemory(std::u16string_view word) {
  const std::optional<int32_t> number = CheckInteger(word);
  if (number && (*number < 0 || *number > 9)) {
    Error("memory number " + std::to_string(*number) + " is outside 0 to 9" +
          Stops(messages::kBadMemoryNumber));
  }
}

void GameChecker::CheckAssignment(const Expanded& target, bool text_allowed) {
  if (target.built) return;
  if (Variables::IsFlagWord(target.text)) {
    CheckFlag(target.text);
  } else if (IsInteger(target.text)) {
    return;
  } else if (text_allowed && IsText(target.text)) {
    return;
  } else if (IsText(target.text)) {
    Error(Quote(target.text) + " is a text variable; this command stores a number" +
          Stops(messages::kUndeclaredInteger));
  } else {
    Error("assigns to " + Quote(target.text) + ", which the configuration file does not declare" +
          Stops(text_allowed ? messages::kAssignsUndeclared : messages::kUndeclaredInteger));
  }
}

// --- Files ---------------------------------------------------------------------------------

void GameChecker::CheckJump(std::u16string_view file_word, std::u16string_view label_word,
                            std::u16string_view command_name) {
  const std::string command = "\"." + Utf16ToUtf8(command_name) + "\"";
  const Expanded file = Expand(file_word);
  const Expanded label = Expand(label_word);
  if (file.built) return;
  std::u16string name = file.text;
  const std::u16string& extension = settings_.ScenarioExtension;
  if (EndsWith(name, extension)) name.resize(name.size() - extension.size());
  const auto it = std::lower_bound(names_.begin(), names_.end(), name);
  if (it == names_.end() || *it != name) {
    std::string hint;
    for (const std::u16string& other : names_) {
      if (EqualsIgnoringAsciiCase(other, name)) {
        hint = ": there is " + Quote(other + extension) + ", but names must match exactly";
      }
    }
    Error(command + " to scenario " + Quote(name) + ", which does not exist" + hint +
          Stops(messages::NoScenario(name + extension)));
    return;
  }
  const Scenario& target = files_[static_cast<size_t>(it - names_.begin())];
  if (target.binary) {
    Error(command + " to " + Quote(name + extension) + ", which is not a text file");
    return;
  }
  if (label.built || label.text.empty()) return;
  if (target.LabelLine(label.text) == 0) {
    Error(command + " to label " + Quote(u":" + label.text) + ", which " + Quote(name + extension) +
          " does not have" + Stops(messages::NoLabel(label.text)));
  }
}

bool GameChecker::FindNamed(const std::u16string& name, std::string* cause) {
  // A game names the same few files thousands of times: each is looked up
  // on disk once.
  auto [it, fresh] = lookups_.try_emplace(name);
  NamedFile& file = it->second;
  if (fresh) {
    const GameFile found = FindGameFile(root_, scenario_folder_, Utf16ToUtf8(name));
    file.found = found.path.has_value();
    if (!file.found && found.problem != FileProblem::kMissing) file.cause = found.cause;
    if (file.found) {
      // The lookup ignores case only when the name as written is not there.
      std::u16string written = name;
      std::replace(written.begin(), written.end(), u'\\', u'/');
      const fs::path exact = (scenario_folder_ / PathFromUtf16(written)).lexically_normal();
      if (found.path->lexically_normal() != exact) {
        file.spelt_on_disk = PathToUtf8(found.path->lexically_relative(scenario_folder_));
      }
    }
  }
  if (!file.found) {
    *cause = file.cause;
    return false;
  }
  if (!file.spelt_on_disk.empty()) {
    Warning(Quote(name) + " is found only as " + Quote(Utf8ToUtf16(file.spelt_on_disk)) +
            ", because names are looked up without regard to case: spell it as the file is");
  }
  return true;
}

void GameChecker::CheckPicture(std::u16string_view word) {
  const Expanded name = Expand(word);
  if (!name.built) CheckPictureName(name.text);
}

void GameChecker::CheckPictureName(const std::u16string& name) {
  std::string cause;
  if (name.find(u'.') != std::u16string::npos) {
    if (FindNamed(name, &cause)) return;
    Error("picture file " + Quote(name) + " does not exist" +
          (cause.empty() ? "" : " (" + cause + ")"));
    return;
  }
  // A bitmap wins over a JPEG of the same name.
  if (FindNamed(name + u".bmp", &cause) || FindNamed(name + u".jpg", &cause)) return;
  Error("picture " + Quote(name) + " does not exist (neither " + Quote(name + u".bmp") + " nor " +
        Quote(name + u".jpg") + ")" + (cause.empty() ? "" : " (" + cause + ")") +
        Stops(messages::kNoPictureFile));
}

void GameChecker::CheckMedia(std::u16string_view word, std::u16string_view extension) {
  const char* what = extension == u"wav"   ? "sound"
                     : extension == u"avi" ? "video"
                     : extension == u"cur" ? "cursor"
                                           : "music";
  const Expanded expanded = Expand(word);
  if (expanded.built) return;
  std::u16string name = expanded.text;
  if (name.find(u'.') == std::u16string::npos) name += u"." + std::u16string(extension);
  std::string cause;
  if (FindNamed(name, &cause)) return;
  Error(std::string(what) + " file " + Quote(name) + " does not exist" +
        (cause.empty() ? "" : " (" + cause + ")"));
}

}  // namespace

CheckCounts CheckGame(const CheckOptions& options,
                      const std::function<void(const Finding&)>& emit) {
  return GameChecker(options, emit).Run();
}

std::vector<Finding> CheckGame(const CheckOptions& options) {
  std::vector<Finding> findings;
  CheckGame(options, [&](const Finding& finding) { findings.push_back(finding); });
  return findings;
}

}  // namespace tsumugi::check
