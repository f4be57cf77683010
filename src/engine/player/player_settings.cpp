#include "engine/player/player_settings.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "engine/engine.h"

namespace tsumugi {

namespace {

namespace fs = std::filesystem;

// The shortest text that reads back as the same double, in TOML's form of
// a float (with a point or an exponent, so that it is no integer).
std::string NumberText(double value) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, ec == std::errc() ? end : buffer);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The kind of a value that has the wrong type, for a message.
std::string KindOf(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "a whole number";
    case toml::node_type::floating_point:
      return "a number with a point";
    case toml::node_type::boolean:
      return "true or false";
    case toml::node_type::date:
    case toml::node_type::time:
    case toml::node_type::date_time:
      return "a date or time";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::table:
      return "a table";
    default:
      return "nothing";
  }
}

// A string from the file shown in a message: on one line, and short (cut
// between two UTF-8 characters).
std::string Shown(std::string_view text) {
  size_t length = std::min<size_t>(text.size(), 40);
  while (length < text.size() && length > 0 && (text[length] & 0xC0) == 0x80) --length;
  std::string out;
  for (const char c : text.substr(0, length)) {
    out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  }
  if (length < text.size()) out += "...";
  return Quoted(out);
}

// Every key of the file, its type and range and where it lives in
// PlayerSettings, in the order the file is written: the reader and the
// writer both walk this one list, so that they cannot drift apart.
template <typename Settings, typename Visitor>
void EachKey(Settings& s, Visitor& v) {
  v.Number("text_speed", s.text_speed, 0.1, 100.0);
  v.Whole("auto_base_ms", s.auto_base_ms, 0, 60000);
  v.Whole("auto_per_char_ms", s.auto_per_char_ms, 0, 10000);
  v.Whole("music_volume", s.volumes.music, 0, 100);
  v.Whole("sound_volume", s.volumes.sound, 0, 100);
  v.Whole("movie_volume", s.volumes.movie, 0, 100);
  v.Flag("fullscreen", s.fullscreen);
  v.Whole("scale", s.scale, 0, 16);
  v.Choice("filter", s.filter,
           {{"sharp", PictureFilter::kSharp}, {"smooth", PictureFilter::kSmooth}});
}

using FilterNames = std::initializer_list<std::pair<const char*, PictureFilter>>;

std::string ChoiceText(PictureFilter value, FilterNames names) {
  for (const auto& [name, v] : names) {
    if (v == value) return Quoted(name);
  }
  return Quoted("");
}

// Takes each key from the file's table into the settings, which hold the
// defaults: a key that is not what it should be keeps its default, and
// Say tells of each in the order of the file's lines.
class Reader {
 public:
  Reader(const toml::table& table, const std::string& file) : table_(table), file_(file) {}

  void Say(std::ostream& err) {
    std::stable_sort(refused_.begin(), refused_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [line, text] : refused_) Complain(err, text);
  }

  void Number(const char* key, double& value, double low, double high) {
    const toml::node* node = table_.get(key);
    if (!node) return;
    const std::string range = "a number from " + Text(low) + " to " + Text(high);
    double read;
    if (const auto* whole = node->as_integer()) {
      read = static_cast<double>(whole->get());
    } else if (const auto* real = node->as_floating_point()) {
      read = real->get();
    } else {
      return Refuse(*node, key, range, KindOf(*node), NumberText(value));
    }
    if (!(read >= low && read <= high)) {
      return Refuse(*node, key, range, Text(read), NumberText(value));
    }
    value = read;
  }

  template <typename Integer>
  void Whole(const char* key, Integer& value, int64_t low, int64_t high) {
    const toml::node* node = table_.get(key);
    if (!node) return;
    const std::string range =
        "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    const auto* whole = node->as_integer();
    if (!whole) return Refuse(*node, key, range, KindOf(*node), std::to_string(value));
    const int64_t read = whole->get();
    if (read < low || read > high) {
      return Refuse(*node, key, range, std::to_string(read), std::to_string(value));
    }
    value = static_cast<Integer>(read);
  }

  void Flag(const char* key, bool& value) {
    const toml::node* node = table_.get(key);
    if (!node) return;
    const auto* flag = node->as_boolean();
    if (!flag) return Refuse(*node, key, "true or false", KindOf(*node), value ? "true" : "false");
    value = flag->get();
  }

  void Choice(const char* key, PictureFilter& value, FilterNames names) {
    const toml::node* node = table_.get(key);
    if (!node) return;
    std::string range;
    for (const auto& [name, v] : names) range += (range.empty() ? "" : " or ") + Quoted(name);
    const auto* text = node->as_string();
    if (!text) return Refuse(*node, key, range, KindOf(*node), ChoiceText(value, names));
    for (const auto& [name, v] : names) {
      if (text->get() == name) {
        value = v;
        return;
      }
    }
    Refuse(*node, key, range, Shown(text->get()), ChoiceText(value, names));
  }

 private:
  static std::string Text(double value) {
    std::string text = NumberText(value);
    if (text.ends_with(".0")) text.resize(text.size() - 2);
    return text;
  }

  void Refuse(const toml::node& node, const char* key, const std::string& range,
              const std::string& found, const std::string& default_text) {
    const uint32_t line = node.source().begin.line;
    refused_.emplace_back(line, "player settings '" + file_ + "', line " + std::to_string(line) +
                                    ": " + key + " takes " + range + ", not " + found +
                                    "; it keeps its default, " + default_text);
  }

  const toml::table& table_;
  const std::string& file_;
  std::vector<std::pair<uint32_t, std::string>> refused_;
};

// Writes each key as a line "key = value".
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  void Number(const char* key, double value, double, double) { Line(key, NumberText(value)); }
  template <typename Integer>
  void Whole(const char* key, Integer value, int64_t, int64_t) {
    Line(key, std::to_string(value));
  }
  void Flag(const char* key, bool value) { Line(key, value ? "true" : "false"); }
  void Choice(const char* key, PictureFilter value, FilterNames names) {
    Line(key, ChoiceText(value, names));
  }

 private:
  void Line(const char* key, const std::string& value) {
    out_ += key;
    out_ += " = ";
    out_ += value;
    out_ += '\n';
  }
  std::string& out_;
};

// Removes the keys this version knows from a table.
class Forget {
 public:
  explicit Forget(toml::table& table) : table_(table) {}
  void Number(const char* key, double, double, double) { table_.erase(key); }
  template <typename Integer>
  void Whole(const char* key, Integer, int64_t, int64_t) {
    table_.erase(key);
  }
  void Flag(const char* key, bool) { table_.erase(key); }
  void Choice(const char* key, PictureFilter, FilterNames) { table_.erase(key); }

 private:
  toml::table& table_;
};

// The file as a table; nullopt with a line on `err` when it is there but
// cannot be read or is no TOML, and without one when it is missing.
std::optional<toml::table> ReadTable(const fs::path& file, std::ostream* err) {
  std::string bytes, cause;
  FileProblem problem = FileProblem::kNone;
  const std::string name = PathToUtf8(file);
  if (!ReadWholeFile(file, &bytes, &cause, kMaxPlayerSettingsBytes, &problem)) {
    if (problem != FileProblem::kMissing && err) {
      Complain(*err,
               "player settings '" + name + "': " + cause + "; every setting keeps its default");
    }
    return std::nullopt;
  }
  try {
    return toml::parse(std::string_view(bytes), std::string_view(name));
  } catch (const toml::parse_error& error) {
    if (err) {
      // toml++ begins its descriptions like a sentence; here they follow a
      // colon.
      std::string description(error.description());
      for (char& c : description) {
        if (c == '\n' || c == '\r') c = ' ';
      }
      if (description.size() > 1 && description[0] >= 'A' && description[0] <= 'Z' &&
          description[1] >= 'a' && description[1] <= 'z') {
        description[0] = static_cast<char>(description[0] - 'A' + 'a');
      }
      Complain(*err, "player settings '" + name + "', line " +
                         std::to_string(error.source().begin.line) + ": " + description +
                         "; every setting keeps its default");
    }
    return std::nullopt;
  }
}

}  // namespace

fs::path PlayerSettingsFileFor(const char* config_home, const char* home) {
  fs::path base;
  if (config_home != nullptr && config_home[0] == '/') {
    base = config_home;
  } else {
    base = fs::path(home != nullptr && home[0] != '\0' ? home : "/") / ".config";
  }
  return base / "tsumugi" / "settings.toml";
}

fs::path PlayerSettingsFile() {
  return PlayerSettingsFileFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

PlayerSettings ReadPlayerSettings(const fs::path& file, std::ostream& err) {
  PlayerSettings settings;
  const std::optional<toml::table> table = ReadTable(file, &err);
  if (!table) return settings;
  const std::string name = PathToUtf8(file);
  Reader reader(*table, name);
  EachKey(settings, reader);
  reader.Say(err);
  return settings;
}

bool WritePlayerSettings(const fs::path& file, const PlayerSettings& settings, std::string* error) {
  std::string text = "# Tsumugi's settings for the player; \"tsumugi --help\" lists them.\n";
  Writer writer(text);
  EachKey(settings, writer);
  // What a newer version wrote stays for it. A damaged file has nothing
  // worth keeping.
  if (std::optional<toml::table> old = ReadTable(file, nullptr)) {
    Forget forget(*old);
    EachKey(settings, forget);
    if (!old->empty()) {
      std::ostringstream rest;
      rest << toml::toml_formatter(*old);
      text += "\n" + rest.str() + "\n";
    }
  }
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  return WriteWholeFile(file, text, error);
}

void ApplyPlayerSettings(const PlayerSettings& settings, Engine& engine) {
  engine.pace.text_speed = settings.text_speed;
  engine.player.auto_base_ms = settings.auto_base_ms;
  engine.player.auto_per_char_ms = settings.auto_per_char_ms;
  engine.host.Media().SetVolumes(settings.volumes);
}

}  // namespace tsumugi
