#include "common/translation.h"

#include <gettext-po.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/child_process.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"

extern char** environ;

namespace tsumugi {

namespace fs = std::filesystem;

namespace {

// --- Reading with libgettextpo, in a child process ----------------------------
//
// The reader ends the process on a fatal error (and on exhausted memory), and
// what it read before is lost to the caller: so it runs in a child, which
// answers with the messages in a plain form of fields, each its length in
// decimal, ":" and its bytes.

std::string Field(std::string_view text) { return std::to_string(text.size()) + ":" + std::string(text); }

bool NextField(std::string_view& in, std::string* out) {
  const size_t colon = in.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 12) return false;
  size_t length = 0;
  for (size_t i = 0; i < colon; ++i) {
    if (in[i] < '0' || in[i] > '9') return false;
    length = length * 10 + static_cast<size_t>(in[i] - '0');
  }
  if (in.size() - colon - 1 < length) return false;
  *out = std::string(in.substr(colon + 1, length));
  in.remove_prefix(colon + 1 + length);
  return true;
}

// The child's reader state: the handler has no user data. Every problem is
// of the one file read: its line (0 when none is named) and what it is.
size_t g_error_line = 0;
std::string g_error;
std::jmp_buf g_fatal;

void Problem(int severity, const char* filename, size_t lineno, const char* text) {
  if (severity == PO_SEVERITY_WARNING) return;
  if (g_error.empty()) {
    if (filename != nullptr && lineno != static_cast<size_t>(-1)) g_error_line = lineno;
    g_error = text != nullptr ? text : "unreadable";
    while (!g_error.empty() && g_error.back() == '\n') g_error.pop_back();
  }
  if (severity == PO_SEVERITY_FATAL_ERROR) std::longjmp(g_fatal, 1);
}

void XError(int severity, po_message_t, const char* filename, size_t lineno, size_t, int,
            const char* text) {
  Problem(severity, filename, lineno, text);
}

void XError2(int severity, po_message_t, const char* filename, size_t lineno, size_t, int,
             const char* text, po_message_t, const char*, size_t, size_t, int, const char*) {
  Problem(severity, filename, lineno, text);
}

// The catalogue, or null after a fatal error.
po_file_t ReadCatalogue(const char* path) {
  static const po_xerror_handler handler{XError, XError2};
  if (setjmp(g_fatal) != 0) return nullptr;
  return po_file_read(path, &handler);
}

// Runs in the child: "E" and the first error's line and text, or "M", the
// header, then five fields for each message (context, msgid, msgstr, fuzzy,
// reference).
std::string ReadPoFile(const std::string& path) {
  po_file_t file = ReadCatalogue(path.c_str());
  if (file == nullptr || !g_error.empty()) {
    return "E" + Field(std::to_string(g_error_line)) +
           Field(g_error.empty() ? "cannot be read" : g_error);
  }
  std::string out = "M";
  const char* header = po_file_domain_header(file, nullptr);
  out += Field(header != nullptr ? header : "");
  po_message_iterator_t it = po_message_iterator(file, nullptr);
  while (po_message_t message = po_next_message(it)) {
    if (po_message_is_obsolete(message) || *po_message_msgid(message) == '\0') continue;
    const char* context = po_message_msgctxt(message);
    // Where the text stands in the game, by its first reference.
    std::string where;
    if (const po_filepos_t pos = po_message_filepos(message, 0)) {
      where = std::string(po_filepos_file(pos)) + ":" + std::to_string(po_filepos_start_line(pos));
    }
    out += Field(context != nullptr ? context : "") + Field(po_message_msgid(message)) +
           Field(po_message_msgstr(message)) + Field(po_message_is_fuzzy(message) ? "1" : "0") +
           Field(where);
  }
  po_message_iterator_free(it);
  po_file_free(file);
  return out;
}

// The value of a header field ("charset" is read from Content-Type).
std::string HeaderField(std::string_view header, std::string_view name) {
  size_t at = 0;
  while (at < header.size()) {
    size_t end = header.find('\n', at);
    if (end == std::string_view::npos) end = header.size();
    std::string_view line = header.substr(at, end - at);
    at = end + 1;
    if (line.size() <= name.size() || line.substr(0, name.size()) != name ||
        line[name.size()] != ':') {
      continue;
    }
    line.remove_prefix(name.size() + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
    return std::string(line);
  }
  return "";
}

std::string Charset(std::string_view header) {
  const std::string type = HeaderField(header, "Content-Type");
  const size_t at = type.find("charset=");
  if (at == std::string::npos) return "";
  std::string charset = type.substr(at + 8);
  const size_t end = charset.find_first_of("; ");
  if (end != std::string::npos) charset.resize(end);
  return charset;
}

bool IsUtf8Name(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name.empty() || name == "UTF-8" || name == "UTF8" || name == "CHARSET" ||
         name == "ASCII" || name == "US-ASCII";
}

// Converts text from `cd`'s encoding to UTF-8; false when it does not fit it.
bool Convert(iconv_t cd, std::string& text) {
  std::string out(text.size() * 4 + 4, '\0');
  char* in = text.data();
  size_t in_left = text.size();
  char* to = out.data();
  size_t to_left = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in, &in_left, &to, &to_left) == static_cast<size_t>(-1)) return false;
  out.resize(out.size() - to_left);
  text = std::move(out);
  return true;
}

// A temporary file that goes when this goes.
struct TempFile {
  std::string path;
  TempFile() {
    const char* dir = std::getenv("TMPDIR");
    std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                       "/tsumugi-translation-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0) {
      close(fd);
      path = name;
    }
  }
  ~TempFile() {
    if (!path.empty()) unlink(path.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
};

// A .mo file as .po text, written by gettext's msgunfmt into `out`.
std::string Unformat(const fs::path& mo, const std::string& out) {
  const std::string in = mo.string();
  std::vector<char*> argv = {const_cast<char*>("msgunfmt"), const_cast<char*>("-o"),
                             const_cast<char*>(out.c_str()), const_cast<char*>(in.c_str()),
                             nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, "msgunfmt", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) {
    return "a .mo catalogue is read with gettext's msgunfmt, which is not installed: "
           "install gettext, or give the .po file";
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "not a gettext .mo catalogue";
  return "";
}

}  // namespace

TranslationLoad Translation::Load(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return {nullptr, "no such file"};
  if (file.extension() == ".mo") {
    TempFile po;
    if (po.path.empty()) return {nullptr, "no room for a temporary file"};
    const std::string why = Unformat(file, po.path);
    if (!why.empty()) return {nullptr, why};
    std::string text;
    std::string error;
    if (!ReadWholeFile(po.path, &text, &error)) return {nullptr, error};
    return FromPoText(text);
  }
  std::string text;
  std::string error;
  if (!ReadWholeFile(file, &text, &error)) return {nullptr, error};
  return FromPoText(text);
}

TranslationLoad Translation::FromPoText(std::string_view text) {
  TempFile copy;
  if (copy.path.empty()) return {nullptr, "no room for a temporary file"};
  {
    std::ofstream out(copy.path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) return {nullptr, "no room for a temporary file"};
  }
  std::string error;
  const std::optional<std::string> answer =
      RunInChild([&] { return ReadPoFile(copy.path); }, &error);
  if (!answer) return {nullptr, "the reader stopped: " + error};
  std::string_view in = *answer;
  if (in.empty()) return {nullptr, "the reader stopped"};
  if (in[0] == 'E') {
    in.remove_prefix(1);
    std::string line, why;
    if (!NextField(in, &line) || !NextField(in, &why)) return {nullptr, "the reader's answer is damaged"};
    return {nullptr, why, std::atoi(line.c_str())};
  }
  in.remove_prefix(1);
  auto t = std::make_shared<Translation>();
  std::string header;
  if (!NextField(in, &header)) return {nullptr, "the reader's answer is damaged"};

  const std::string charset = Charset(header);
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  if (!IsUtf8Name(charset)) {
    cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      return {nullptr, "the encoding \"" + charset +
                           "\" that its header names is not known; save it as UTF-8"};
    }
    if (!Convert(cd, header)) {
      iconv_close(cd);
      return {nullptr, "the header is not " + charset};
    }
  }
  const auto close_cd = [&] {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  };
  while (!in.empty()) {
    Message m;
    std::string fuzzy;
    if (!NextField(in, &m.context) || !NextField(in, &m.id) || !NextField(in, &m.text) ||
        !NextField(in, &fuzzy) || !NextField(in, &m.reference)) {
      close_cd();
      return {nullptr, "the reader's answer is damaged"};
    }
    m.fuzzy = fuzzy == "1";
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      if (!Convert(cd, m.context) || !Convert(cd, m.id) || !Convert(cd, m.text)) {
        close_cd();
        return {nullptr, "\"" + m.id.substr(0, 40) + "\" is not " + charset};
      }
    } else if (!IsValidUtf8(m.context) || !IsValidUtf8(m.id) || !IsValidUtf8(m.text)) {
      close_cd();
      return {nullptr, "a text is not UTF-8, though the header says so"};
    }
    if (!m.text.empty() && !m.fuzzy) {
      t->shown_[{Utf8ToUtf16(m.context), Utf8ToUtf16(m.id)}] = Utf8ToUtf16(m.text);
    }
    t->messages_.push_back(std::move(m));
  }
  close_cd();
  t->wrap_words_ = HeaderField(header, "X-Tsumugi-Wrap") == "words";
  t->font_ = HeaderField(header, "X-Tsumugi-Font");
  t->language_ = HeaderField(header, "Language");
  return {std::move(t), ""};
}

const std::u16string* Translation::Find(std::u16string_view context,
                                        std::u16string_view id) const {
  const auto it = shown_.find(std::pair<std::u16string, std::u16string>(context, id));
  return it == shown_.end() ? nullptr : &it->second;
}

}  // namespace tsumugi

namespace tsumugi {

const std::u16string* Translation::FindInAnyContext(std::u16string_view id) const {
  for (const auto& [key, shown] : shown_) {
    if (key.second == id) return &shown;
  }
  return nullptr;
}

}  // namespace tsumugi
