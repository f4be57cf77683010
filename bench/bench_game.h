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

// A new folder under the temporary folder with an empty "data" folder in
// it, removed with all it holds afterwards.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tsumugi-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::filesystem::create_directories(path_ / "data");
  }
  ~BenchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class BenchGame {
 public:
  // `start` is the scenario "start" (UTF-8, written as CP932 with CR LF).
  // Files named in `files` (name, bytes) go beside it. With `run` the
  // scenario runs until it first waits for the player.
  BenchGame(const std::string& start, bool crisp, bool run,
            std::initializer_list<std::pair<std::string, std::string>> files = {}) {
    const std::filesystem::path data = folder_.path() / "data";
    std::string text;
    for (char c : start) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(data / "start.txt", std::ios::binary) << Utf16ToCp932(Utf8ToUtf16(text));
    for (const auto& [name, bytes] : files) {
      std::ofstream(data / name, std::ios::binary) << bytes;
    }

    host_ = std::make_unique<headless::HeadlessHost>(headless::HeadlessOptions{});
    EngineOptions options;
    options.game_folder = folder_.path();
    options.settings_file = folder_.path() / "none.ini";
    options.crisp_text = crisp;
    engine_ = std::make_unique<Engine>(*host_, options);
    engine_->startup.StartEngine(run);
  }
  // The engine goes before its folder.
  ~BenchGame() { engine_.reset(); }
  BenchGame(const BenchGame&) = delete;
  BenchGame& operator=(const BenchGame&) = delete;

  void Run(const std::string& line) { engine_->script.ExecuteLine(Utf8ToUtf16(line)); }
  Engine& engine() { return *engine_; }
  headless::HeadlessHost& host() { return *host_; }

 private:
  BenchFolder folder_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace tsumugi::bench
