#include "app/translation_choice.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"

namespace tsumugi {

namespace fs = std::filesystem;

namespace {

// The catalogue of `code` in the game's translations folder, if it has one.
std::optional<fs::path> CatalogueFor(const fs::path& game, const std::string& code) {
  std::error_code ec;
  for (const char* extension : {".po", ".mo"}) {
    const fs::path file = game / "translations" / (code + extension);
    if (fs::is_regular_file(file, ec)) return file;
  }
  return std::nullopt;
}

// The languages the locale asks for, best first: each of LANGUAGE's list,
// then the first of LC_ALL, LC_MESSAGES and LANG; "en_US" also as "en".
std::vector<std::string> LocaleLanguages() {
  std::vector<std::string> codes;
  const auto add = [&](std::string code) {
    code.resize(std::strcspn(code.c_str(), ".@"));
    if (code.empty() || code == "C" || code == "POSIX") return;
    codes.push_back(code);
    const size_t under = code.find('_');
    if (under != std::string::npos) codes.push_back(code.substr(0, under));
  };
  if (const char* list = std::getenv("LANGUAGE"); list != nullptr) {
    std::string rest = list;
    for (size_t at = 0; at <= rest.size();) {
      const size_t colon = std::min(rest.find(':', at), rest.size());
      add(rest.substr(at, colon - at));
      at = colon + 1;
    }
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    add(value);
    break;
  }
  return codes;
}

}  // namespace

bool ChooseTranslation(const CommandLine& cl, const fs::path& game, EngineOptions* options,
                       std::string* error) {
  std::optional<fs::path> file;
  if (cl.translation) {
    file = fs::path(*cl.translation);
    std::error_code ec;
    if (!fs::is_regular_file(*file, ec)) {
      *error = "--translation '" + *cl.translation + "': no such file";
      return false;
    }
  } else if (cl.lang) {
    file = CatalogueFor(game, *cl.lang);
    if (!file && *cl.lang != "ja") {
      *error = "--lang " + *cl.lang + ": the game has no translations/" + *cl.lang + ".po";
      return false;
    }
  } else if (!cl.headless) {
    // A headless run takes no language from the machine, so that its runs
    // repeat anywhere.
    for (const std::string& code : LocaleLanguages()) {
      if (code == "ja") break;
      if ((file = CatalogueFor(game, code))) break;
    }
  }
  if (file) {
    TranslationLoad load = Translation::Load(*file);
    if (load.translation) {
      options->translation = std::move(load.translation);
    } else {
      Complain("translation " + load.Message(PathToUtf8(*file)) + "; the game plays untranslated");
    }
  }
  const Translation* t = options->translation.get();
  options->wrap_words = cl.wrap ? *cl.wrap == "words" : t != nullptr && t->WrapWords();
  if (t != nullptr && !t->Font().empty()) {
    options->text_face = Utf8ToUtf16(t->Font());
  } else if (options->wrap_words) {
    options->text_face = kDefaultLatinFace;
  }
  return true;
}

}  // namespace tsumugi
