// Runs every folder under tests/scenarios through the real binary.
//
// A scenario folder holds:
//   game/      the game folder (copied to a temporary folder for the run)
//   media      optional: media files to make in the game folder first, one
//              a line (see MakeFixture)
//   input      optional: the player actions (--input)
//   args       optional: more command-line options, one line
//   expected   the exact standard output (JSON message lines); "$GAME"
//              stands for the game folder of the run
//   status     optional: the exit status (default 0)
//   pixels     optional: lines "FILE X Y RRGGBB" checked against screenshots
//              written by the run (end.png is the screen at the end)
//   sound      optional: lines "FROM TO loud|silent" (milliseconds of engine
//              time) checked against the mix the run writes (--audio-out)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/gdi/png_writer.h"
#include "platform/gdi/surface.h"
#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> ScenarioNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(TSUMUGI_SCENARIO_DIR)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SplitWords(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

class Scenario : public testing::TestWithParam<std::string> {};

TEST_P(Scenario, PlaysAsExpected) {
  fs::path source = fs::path(TSUMUGI_SCENARIO_DIR) / GetParam();
  TempDir work;
  fs::copy(source / "game", work / "game", fs::copy_options::recursive);
  if (fs::exists(source / "media")) {
    std::istringstream lines(ReadFile(source / "media"));
    std::string line, error;
    while (std::getline(lines, line)) {
      if (line.empty() || line[0] == '#') continue;
      ASSERT_TRUE(MakeFixture(work / "game", line, &error)) << line << ": " << error;
    }
  }

  std::vector<std::string> args = {"--headless", "--screenshot", "end.png"};
  if (fs::exists(source / "args")) {
    for (const std::string& w : SplitWords(ReadFile(source / "args"))) args.push_back(w);
  }
  if (fs::exists(source / "sound")) {
    args.push_back("--audio-out");
    args.push_back("mix.wav");
  }
  if (fs::exists(source / "input")) {
    args.push_back("--input");
    args.push_back((source / "input").string());
  }
  args.push_back("game");

  RunResult run = RunTsumugi(args, work.path());
  int expected_status = 0;
  if (fs::exists(source / "status")) expected_status = std::stoi(ReadFile(source / "status"));
  EXPECT_EQ(run.status, expected_status) << "stderr: " << run.err;
  // "$GAME" in the expected text stands for the game folder of this run.
  std::string expected = ReadFile(source / "expected");
  const std::string game_path = (work / "game").string();
  for (size_t at = expected.find("$GAME"); at != std::string::npos;
       at = expected.find("$GAME", at + game_path.size())) {
    expected.replace(at, 5, game_path);
  }
  EXPECT_EQ(run.out, expected);

  if (fs::exists(source / "pixels")) {
    std::istringstream checks(ReadFile(source / "pixels"));
    std::string line;
    while (std::getline(checks, line)) {
      std::vector<std::string> w = SplitWords(line);
      if (w.empty() || w[0][0] == '#') continue;
      ASSERT_EQ(w.size(), 4u) << "bad pixel check: " << line;
      gdi::Surface shot;
      std::string error;
      ASSERT_TRUE(gdi::ReadPng((work / w[0]).string(), &shot, &error)) << error;
      int x = std::stoi(w[1]), y = std::stoi(w[2]);
      uint32_t want = static_cast<uint32_t>(std::stoul(w[3], nullptr, 16));
      EXPECT_EQ(shot.PixelAt(x, y), want) << w[0] << " at " << x << "," << y;
    }
  }

  if (fs::exists(source / "sound")) {
    // 16-bit stereo at 44,100 frames a second after a 44-byte header.
    const std::string mix = ReadFile(work / "mix.wav");
    std::istringstream checks(ReadFile(source / "sound"));
    std::string line;
    while (std::getline(checks, line)) {
      std::vector<std::string> w = SplitWords(line);
      if (w.empty() || w[0][0] == '#') continue;
      ASSERT_EQ(w.size(), 3u) << "bad sound check: " << line;
      const size_t from = 44 + std::stoul(w[0]) * 441 / 10 * 4;
      const size_t to = 44 + std::stoul(w[1]) * 441 / 10 * 4;
      ASSERT_LE(to, mix.size()) << "the mix ends before " << line;
      int peak = 0;
      for (size_t i = from; i + 1 < to; i += 2) {
        const auto sample = static_cast<int16_t>((mix[i] & 0xFF) | (mix[i + 1] << 8));
        peak = std::max(peak, std::abs(int{sample}));
      }
      EXPECT_TRUE(w[2] == "loud" ? peak > 500 : peak == 0) << line << ": peak " << peak;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Scenario, testing::ValuesIn(ScenarioNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace tsumugi::test
