// A game's texts in another language: a gettext catalogue (.po, or .mo)
// whose entries take a text as the scenario writes it (msgid) in the
// scenario it stands in (msgctxt, "start.txt") to the text shown instead.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tsumugi {

class Translation;

// A catalogue read, or why it could not be: what is wrong and, where the
// fault lies in a line of the file, that line.
struct [[nodiscard]] TranslationLoad {
  std::shared_ptr<const Translation> translation;
  std::string error;
  int error_line = 0;

  // The error as said of `file`: "en.po:12: ...".
  std::string Message(const std::string& file) const {
    return file + (error_line > 0 ? ":" + std::to_string(error_line) : "") + ": " + error;
  }
};

class Translation {
 public:
  // One entry of the file, as the checker lists them.
  struct Message {
    std::string context;  // UTF-8, like everything here
    std::string id;
    std::string text;  // empty: not translated yet
    bool fuzzy = false;
    // Its first "#:" reference ("start.txt:12"), empty when it has none.
    std::string reference;
  };

  // Reads a .po file with gettext's own reader (libgettextpo), or a .mo
  // file through gettext's msgunfmt. A catalogue in another encoding than
  // UTF-8 is converted as its header says.
  static TranslationLoad Load(const std::filesystem::path& file);
  // The same from the text of a .po file.
  static TranslationLoad FromPoText(std::string_view text);

  // The text shown for `id` in scenario `context`; null when the catalogue
  // has none (no entry, an empty or a fuzzy one).
  const std::u16string* Find(std::u16string_view context, std::u16string_view id) const;

  // The same in whichever scenario it stands (the first found).
  const std::u16string* FindInAnyContext(std::u16string_view id) const;

  // Layout the catalogue asks for in its header: "X-Tsumugi-Wrap: words"
  // breaks lines between words; "X-Tsumugi-Font: NAME" names the face.
  bool WrapWords() const { return wrap_words_; }
  const std::string& Font() const { return font_; }
  // The header's "Language" field ("en"), empty when it has none.
  const std::string& Language() const { return language_; }
  const std::vector<Message>& Messages() const { return messages_; }

 private:
  std::vector<Message> messages_;
  std::map<std::pair<std::u16string, std::u16string>, std::u16string, std::less<>> shown_;
  bool wrap_words_ = false;
  std::string font_;
  std::string language_;
};

}  // namespace tsumugi
