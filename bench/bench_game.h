// A game in a temporary folder with an engine started on the headless host,
// for benchmarks that measure the engine at work on a real scenario.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "common/text_codec.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"

namespace tsumugi::bench {

class BenchGame {
 public:
  // `start` is the scenario "start" (UTF-8, written as CP932 with CR LF).
  // Files named in `files` (name, bytes) go beside it. With `run` the
  // scenario runs until it first waits for the player.
  BenchGame(const std::string& start, bool crisp, bool run,
            std::initializer_list<std::pair<std::string, std::string>> files = {}) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tsumugi-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    const std::filesystem::path data = folder_ / "data";
    std::filesystem::create_directories(data);
    std::string text;
    for (char c : start) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(data / "start.txt", std::ios::binary) << Utf16ToCp932(Utf8ToUtf16(text));
    for (const auto& [name, bytes] : files) {
      std::ofstream(data / name, std::ios::binary) << bytes;
    }

    host_ = std::make_unique<headless::HeadlessHost>(headless::HeadlessOptions{});
    EngineOptions options;
    options.game_folder = folder_;
    options.settings_file = folder_ / "none.ini";
    options.crisp_text = crisp;
    engine_ = std::make_unique<Engine>(*host_, options);
    engine_->startup.StartEngine(run);
  }
  ~BenchGame() {
    engine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  BenchGame(const BenchGame&) = delete;
  BenchGame& operator=(const BenchGame&) = delete;

  void Run(const std::string& line) { engine_->script.ExecuteLine(Utf8ToUtf16(line)); }
  Engine& engine() { return *engine_; }
  headless::HeadlessHost& host() { return *host_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace tsumugi::bench
