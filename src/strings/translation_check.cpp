#include "strings/translation_check.h"

#include <map>
#include <set>
#include <string_view>
#include <utility>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "common/translation.h"
#include "engine/vars/reference_walk.h"

namespace tsumugi::strings {

namespace fs = std::filesystem;

namespace {

using Key = std::pair<std::string_view, std::string_view>;  // context, text

std::string Quote(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// How the "[...]" substitutions of a translation differ from its text's,
// each counted as often as it stands and paired as the engine pairs them
// when it shows the text; empty when they are the same.
std::string SubstitutionDifference(const std::string& text, const std::string& translation) {
  std::map<std::u16string, int> count;  // the text's, less the translation's
  const auto add = [&](const std::string& utf8, int sign) {
    SubstituteReferences(Utf8ToUtf16(utf8),
                         [&](std::u16string_view inner, std::u16string&, size_t) {
                           count[u"[" + std::u16string(inner) + u"]"] += sign;
                         });
  };
  add(text, 1);
  add(translation, -1);
  std::string missing, added;
  for (const auto& [reference, n] : count) {
    std::string& list = n > 0 ? missing : added;
    for (int i = 0; i < (n > 0 ? n : -n); ++i) {
      list += (list.empty() ? "" : ", ") + Utf16ToUtf8(reference);
    }
  }
  if (missing.empty() && added.empty()) return "";
  std::string parts;
  if (!missing.empty()) parts = "missing " + missing;
  if (!added.empty()) parts += (parts.empty() ? "added " : "; added ") + added;
  return "the translation's substitutions differ from the text's (" + parts + ")";
}

}  // namespace

std::vector<TranslationFinding> CheckTranslation(const StringsOptions& game,
                                                 const fs::path& catalogue) {
  const TranslationLoad load = Translation::Load(catalogue);
  if (!load.translation) return {{catalogue, load.error_line, true, load.error}};
  const Extracted extracted = ExtractStrings(game);
  if (!extracted.error.empty()) return {{game.game_folder, 0, true, extracted.error}};

  std::set<Key> texts;
  for (const Entry& entry : extracted.entries) texts.emplace(entry.context, entry.text);
  std::map<Key, const Translation::Message*> translated;
  std::vector<TranslationFinding> findings;
  for (const Translation::Message& message : load.translation->Messages()) {
    translated.emplace(Key(message.context, message.id), &message);
    if (texts.contains(Key(message.context, message.id))) continue;
    // The catalogue's own lines are not known: its reference says where the
    // text stood in the game.
    std::string what =
        Quote(message.id) +
        (message.context.empty() ? " (no msgctxt" : " (msgctxt " + Quote(message.context));
    if (!message.reference.empty()) what += ", #: " + message.reference;
    findings.push_back({catalogue, 0, false, what + ") is no longer a text of the game"});
  }

  for (const Entry& entry : extracted.entries) {
    const auto it = translated.find(Key(entry.context, entry.text));
    const Translation::Message* message = it == translated.end() ? nullptr : it->second;
    // A text left untranslated is a warning; a translation the game would
    // show with a wrong value, or none, an error.
    std::string problem;
    bool error = false;
    if (message == nullptr) {
      problem = "not in the translation";
    } else if (message->text.empty()) {
      problem = "not translated";
    } else if (message->fuzzy) {
      problem = "the translation is marked fuzzy, so the game shows the text";
    } else {
      problem = SubstitutionDifference(entry.text, message->text);
      if (problem.empty()) continue;
      error = true;
    }
    std::string what = problem + ": " + Quote(entry.text);
    if (entry.lines.size() > 1) {
      what += " (and on " + std::to_string(entry.lines.size() - 1) +
              (entry.lines.size() == 2 ? " more line)" : " more lines)");
    }
    findings.push_back({entry.file, entry.lines.front(), error, std::move(what)});
  }
  return findings;
}

}  // namespace tsumugi::strings
