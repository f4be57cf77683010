// The script reader and dispatcher on the headless host, and the checker on
// the same game: a scenario, a configuration file and player actions,
// separated by NUL bytes (a scenario with a NUL is no text file anyway).
#include <sstream>

#include "check/checker.h"
#include "engine/engine.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/input_script.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::fuzz {

namespace {

// A game folder with a few pictures the scenarios can name; removed when
// the process ends.
struct Game {
  Game() : folder(Scratch("game")) {
    const auto data = folder / "data";
    std::filesystem::create_directories(data);
    WriteBytes(data / "bg.bmp", test::BitmapBytes(32, 24, [](int x, int y) {
                 return static_cast<uint32_t>((x * 8) << 16 | y * 8);
               }));
    WriteBytes(data / "chara.bmp",
               test::BitmapBytes(8, 8, [](int x, int) { return x < 4 ? 0x00FF00u : 0xFF0000u; }));
    for (int frame = 0; frame < 3; ++frame) {
      WriteBytes(data / ("pat10" + std::to_string(frame) + ".bmp"),
                 test::BitmapBytes(4, 4, [&](int x, int) { return x <= frame ? 0u : 0xFFFFFFu; }));
    }
  }
  ~Game() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  std::filesystem::path folder;
};

}  // namespace

int Script(const uint8_t* data, size_t size) {
  static Game game;
  const std::string_view bytes = AsText(data, size);
  std::string_view parts[3];
  size_t start = 0;
  for (int i = 0; i < 3 && start <= bytes.size(); ++i) {
    const size_t end = i == 2 ? bytes.size() : std::min(bytes.find('\0', start), bytes.size());
    parts[i] = bytes.substr(start, end - start);
    start = end + 1;
  }
  const auto data_folder = game.folder / "data";
  WriteBytes(data_folder / "start.txt", parts[0]);
  std::error_code ec;
  if (parts[1].empty()) {
    std::filesystem::remove(data_folder / "config.txt", ec);
  } else {
    WriteBytes(data_folder / "config.txt", parts[1]);
  }
  std::filesystem::remove_all(game.folder / "saves", ec);

  std::ostringstream sink;
  headless::HeadlessOptions options;
  const headless::InputParseResult input = headless::ParseInputScript(std::string(parts[2]));
  if (input.error.empty()) options.actions = input.actions;
  options.max_time = 60000;
  options.out = &sink;
  options.err = &sink;
  options.endless_script_limit = std::chrono::milliseconds(200);
  {
    headless::HeadlessHost host(std::move(options));
    EngineOptions engine_options;
    engine_options.game_folder = game.folder;
    engine_options.settings_file = game.folder / "none.ini";
    engine_options.save_dir = game.folder / "saves";
    Engine engine(host, engine_options);
    engine.record.Start(&sink, true);
    engine.Run();
    engine.record.CoverageText();
  }
  check::CheckGame({game.folder, game.folder / "none.ini"});
  return 0;
}

}  // namespace tsumugi::fuzz
