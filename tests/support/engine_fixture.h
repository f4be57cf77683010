// An engine on a headless host inside the test process, for tests that
// look at engine state the binary does not print.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "support/test_support.h"

namespace tsumugi::test {

class EngineFixture {
 public:
  using Files = std::vector<std::pair<std::string, std::string>>;

  // `files` maps paths below the game folder to UTF-8 text, written as CP932
  // with CR LF line ends. Without a settings file the scenarios belong in
  // "data/". `crisp_text` draws text unsmoothed.
  explicit EngineFixture(std::initializer_list<std::pair<std::string, std::string>> files,
                         const std::string& input = "", headless::HeadlessOptions options = {},
                         bool crisp_text = false)
      : EngineFixture(Files(files), input, std::move(options), crisp_text) {}
  EngineFixture(const Files& files, const std::string& input, headless::HeadlessOptions options,
                bool crisp_text);

  // Starts the engine and runs it to its end.
  ExitStatus Run();

  // Starts the engine up to the first script line without running it: the
  // test can then call into the engine (reset done, catalogue built, "start"
  // open). Errors on the way still end the engine (EngineEnded is thrown).
  void StartWithoutRunning();

  // Runs `line` as if it were the current script line (a command or text).
  // Returns true when the command waits.
  bool Execute(const std::string& utf8_line);
  // Runs a line that must end the engine with a report; returns the text of
  // that report (and fails the test when the line does not end the engine).
  std::string ErrorFrom(const std::string& utf8_line);
  // Milliseconds of engine time a line takes.
  uint64_t Duration(const std::string& utf8_line);

  // The message boxes shown so far, one JSON line each.
  std::string Output() const { return out_.str(); }
  // The text of the only message box shown so far (UTF-8); fails the test
  // when there is not exactly one.
  std::string OnlyMessage() const;

  const std::filesystem::path& game() const { return dir_.path(); }
  headless::HeadlessHost& host() { return *host_; }
  Engine& engine() { return *engine_; }
  GameState& state() { return engine_->state; }

 private:
  TempDir dir_;
  std::ostringstream out_;
  std::ostringstream err_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

// The report of `message` from a line run by a test, before any scenario
// line has been read.
inline std::string ReportAtStart(const std::string& message) {
  return "File「start.txt」  Line「0」\r\n\r\n" + message + "\r\n実行を中止します";
}

}  // namespace tsumugi::test
