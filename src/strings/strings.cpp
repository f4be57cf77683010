#include "strings/strings.h"

#include <map>
#include <utility>

#include "common/file_lookup.h"
#include "common/game_text.h"
#include "common/text_codec.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_table.h"
#include "engine/script/scenario_outline.h"
#include "engine/startup/settings.h"
#include "engine/startup/startup.h"

namespace tsumugi::strings {

namespace fs = std::filesystem;

namespace {

// A "[" with a "]" after it: the game puts a value there as it runs.
bool HoldsSubstitution(std::u16string_view text) {
  const size_t open = text.find(u'[');
  return open != std::u16string_view::npos && text.find(u']', open) != std::u16string_view::npos;
}

// The entries of one file, identical texts sharing one.
class FileEntries {
 public:
  FileEntries(std::vector<Entry>& out, std::string context, fs::path file)
      : out_(out), context_(std::move(context)), file_(std::move(file)) {}

  void Add(std::u16string_view text, int line) {
    if (text.empty()) return;
    auto [it, added] = index_.try_emplace(std::u16string(text), out_.size());
    if (added) {
      out_.push_back({context_, Utf16ToUtf8(text), {}, HoldsSubstitution(text), file_});
    }
    out_[it->second].lines.push_back(line);
  }

 private:
  std::vector<Entry>& out_;
  std::string context_;
  fs::path file_;
  std::map<std::u16string, size_t> index_;
};

// The text a command line shows the player: the caption of ".cap", the
// text of ".tpr" after its target and position; none for other commands.
std::u16string_view CommandText(std::u16string_view line) {
  LineWords words{line};
  const std::u16string_view command = words.Next();
  if (command == u".cap") return words.rest;
  if (command != u".tpr") return {};
  const std::u16string_view first = words.Next();
  if (first == u"font") return {};
  if (first != u"screen" && first != u"off1" && first != u"off2") {
    // The target may be left out: the first word was the x position.
    words.Next();
    return words.rest;
  }
  words.Next();
  words.Next();
  return words.rest;
}

// Reads one file's texts: text lines and choice lines (from the outline of
// its blocks), and the texts of ".cap" and ".tpr".
void ReadFile(const GameText& text, FileEntries& entries, bool config) {
  std::vector<std::u16string> lines;
  text.ForEachLine([&](std::string_view bytes) { lines.push_back(text.Decode(bytes)); });
  ScenarioOutliner outliner(lines.size());
  for (const std::u16string& line : lines) outliner.Add(line);
  const ScenarioOutline& outline = outliner.SoFar();
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u16string_view line = WithoutLeadingTabs(lines[i]);
    const int number = static_cast<int>(i + 1);
    const LineRole role = config ? LineRole::kCommand : outline.roles[i];
    if (role == LineRole::kText || role == LineRole::kChoice) {
      entries.Add(line, number);
    } else if (role == LineRole::kCommand) {
      const std::u16string_view shown = CommandText(line);
      if (!config || line.substr(0, 4) == u".cap") entries.Add(shown, number);
    }
  }
}

}  // namespace

Extracted ExtractStrings(const StringsOptions& options) {
  Extracted result;
  const fs::path root = RealPath(options.game_folder).value_or(options.game_folder);
  Settings settings;
  std::string causes;
  const std::optional<std::u16string> refusal = ReadGameSettings(
      {options.game_folder, options.settings_file, root,
       [&](const std::string& text) { causes += (causes.empty() ? "" : "; ") + text; }},
      settings);
  if (refusal) {
    result.error = "the game does not start: " + Utf16ToUtf8(*refusal);
    if (!causes.empty()) result.error += " (" + causes + ")";
    return result;
  }
  const fs::path folder = PathFromUtf16(settings.ScenarioFolder);
  std::string problems;
  const auto read = [&](const fs::path& path, const std::u16string& name, bool config) {
    std::string bytes, error;
    if (!ReadWholeFile(path, &bytes, &error)) {
      problems += (problems.empty() ? "" : "; ") + PathToUtf8(path) + ": " + error;
      return;
    }
    const GameText text(std::move(bytes));
    if (text.binary()) return;
    FileEntries entries(result.entries, Utf16ToUtf8(name + settings.ScenarioExtension), path);
    ReadFile(text, entries, config);
  };
  const GameFile config =
      FindGameFile(root, folder, Utf16ToUtf8(u"config" + settings.ScenarioExtension));
  if (config.path) read(*config.path, u"config", true);
  const std::vector<FoundScenario> found = ListScenarioFiles(
      {folder, settings.ScenarioExtension, root,
       [&](const std::string& text) { problems += (problems.empty() ? "" : "; ") + text; }},
      Catalogue::kMaxFiles);
  if (found.empty()) {
    result.error = "no scenario file (*" + Utf16ToUtf8(settings.ScenarioExtension) +
                   ") in the scenario folder";
    return result;
  }
  if (found.size() > Catalogue::kMaxFiles) {
    result.error = "more than " + std::to_string(Catalogue::kMaxFiles) + " scenario files";
    return result;
  }
  for (const FoundScenario& scenario : found) read(scenario.path, scenario.name, false);
  if (!problems.empty()) {
    result.entries.clear();
    result.error = problems;
  }
  return result;
}

namespace {

// A PO string literal.
std::string PoString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string PotText(const std::vector<Entry>& entries, const std::string& game_name) {
  std::string out =
      "# The texts of " + game_name + " for translators: text lines, choices, printed\n"
      "# texts and captions, each with the scenario it is in as its context.\n"
      "msgid \"\"\n"
      "msgstr \"\"\n" +
      PoString("Project-Id-Version: " + game_name + "\n") + "\n" +
      "\"MIME-Version: 1.0\\n\"\n"
      "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
      "\"Content-Transfer-Encoding: 8bit\\n\"\n";
  for (const Entry& entry : entries) {
    out += "\n";
    if (entry.substitution) {
      out += "#. The game puts a value where a name stands in [ ]: keep each as it is.\n";
    }
    std::string references = "#:";
    for (const int line : entry.lines) {
      const std::string reference = " " + entry.context + ":" + std::to_string(line);
      if (references.size() + reference.size() > 79 && references != "#:") {
        out += references + "\n";
        references = "#:";
      }
      references += reference;
    }
    out += references + "\n";
    out += "msgctxt " + PoString(entry.context) + "\n";
    out += "msgid " + PoString(entry.text) + "\n";
    out += "msgstr \"\"\n";
  }
  return out;
}

}  // namespace tsumugi::strings
