// A game in a temporary folder for the text window, input and cursor tests:
// an engine on the headless host inside the test process, started up to its
// first line, with helpers to run lines, read reports and look at pixels.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/text_codec.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {

class TextGame {
 public:
  // `files` maps paths below data/ to UTF-8 text (written as CP932 with
  // CR LF); `input` is the player's input file.
  explicit TextGame(std::initializer_list<std::pair<std::string, std::string>> files = {},
                    const std::string& input = "", bool crisp = false) {
    bool have_start = false;
    for (const auto& [path, text] : files) {
      WriteCp932(dir_ / ("data/" + path), text);
      have_start = have_start || path == "start.txt";
    }
    // A start file whose only line does nothing when a click resumes it.
    if (!have_start) WriteCp932(dir_ / "data/start.txt", ";\n");
    headless::InputParseResult parsed = headless::ParseInputScript(input);
    if (!parsed.error.empty()) ADD_FAILURE() << "bad input script: " << parsed.error;
    headless::HeadlessOptions options;
    options.actions = parsed.actions;
    options.out = &out_;
    options.err = &err_;
    host_ = std::make_unique<headless::HeadlessHost>(std::move(options));
    EngineOptions engine_options;
    engine_options.game_folder = dir_.path();
    engine_options.settings_file = dir_ / "none.ini";
    engine_options.crisp_text = crisp;
    engine_ = std::make_unique<Engine>(*host_, engine_options);
  }

  // A 24-bit bitmap in the scenario folder; colour(x, y) gives 0xRRGGBB.
  void Picture(const std::string& file, int w, int h,
               const std::function<uint32_t(int, int)>& colour) {
    WriteBitmap(dir_ / ("data/" + file), w, h, colour);
  }
  void File(const std::string& file, const std::string& bytes) {
    WriteFile(dir_ / ("data/" + file), bytes);
  }

  void Start() { engine_->startup.StartEngine(/*run_script=*/false); }
  // Starts and runs the script until the engine ends.
  ExitStatus Run() { return engine_->Run(); }

  // Runs a line as if it were the current script line; true when it waits.
  bool Line(const std::string& utf8) { return engine_->script.ExecuteLine(Utf8ToUtf16(utf8)); }
  void Lines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) Line(line);
  }
  // Runs a line that must end the engine with a report; returns its text.
  std::string Error(const std::string& line) {
    try {
      Line(line);
    } catch (const EngineEnded& ended) {
      EXPECT_EQ(ended.status, ExitStatus::kError);
      return OnlyMessage();
    }
    ADD_FAILURE() << line << " did not end the engine";
    return "";
  }
  // Engine time a line takes.
  uint64_t Duration(const std::string& line) {
    const uint64_t start = host_->Now();
    Line(line);
    return host_->Now() - start;
  }

  // The text of the only message box (UTF-8).
  std::string OnlyMessage() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(lines.size(), 1u) << out_.str();
    if (lines.size() != 1) return "";
    const std::string& json = lines[0];
    size_t start = json.find("\"text\":\"");
    if (start == std::string::npos) return "";
    std::string text;
    for (size_t i = start + 8; i < json.size() && json[i] != '"'; ++i) {
      if (json[i] == '\\' && i + 1 < json.size()) {
        char c = json[++i];
        text += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
      } else {
        text += json[i];
      }
    }
    return text;
  }
  std::string Output() const { return out_.str(); }

  uint32_t Screen(int x, int y) { return host_->Screen().PixelAt(x, y); }
  uint32_t Canvas(int x, int y) { return text().PicTextCanvas.PixelAt(x, y); }

  Engine& engine() { return *engine_; }
  TextWindow& text() { return engine_->text; }
  Input& input() { return engine_->input; }
  headless::HeadlessHost& host() { return *host_; }
  const std::filesystem::path& game() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

// The report a line run by a test gives (no scenario line has been read).
inline std::string Report(const std::string& message) {
  return "File「start.txt」  Line「0」\r\n\r\n" + message + "\r\n実行を中止します";
}

// Whether any pixel of a rectangle of a surface differs from `colour`.
inline bool AnyPixelOtherThan(const gdi::Surface& s, int x, int y, int w, int h,
                              uint32_t colour) {
  for (int j = y; j < y + h; ++j) {
    for (int i = x; i < x + w; ++i) {
      if (s.PixelAt(i, j) != colour) return true;
    }
  }
  return false;
}

}  // namespace tsumugi::test
