// Games made up at random that play for a while: text typed at several
// speeds, click waits, timed pauses, menus and their branches, picture
// buttons, recall points, calls into a second scenario, pictures with
// wipes, cross-fades and sprites, pages, printed text, variables, random
// numbers and the clock, music, sounds, a movie. Unlike the hostile games
// they are mostly well formed, so that a run passes many waits; now and
// then a line is not, and the run ends with a report.
//
// The assets are those of the bundled sample game (pictures, wipe patterns,
// a window, a marker, buttons) and short tones made by the tests; a game is
// its scenario files and the player's input.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

namespace tsumugi::test {

class PlayableGameMaker {
 public:
  explicit PlayableGameMaker(uint32_t seed) : rng_(seed) {}

  // Writes the assets into `game` (its "data" folder and "cd"): once for
  // many games.
  static void WriteAssets(const std::filesystem::path& game);

  // A new game: the scenario files written into `game`'s data folder, over
  // those of the one before. Returns the player's input.
  std::string MakeGame(const std::filesystem::path& game);

 private:
  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  const char* Pick(std::initializer_list<const char*> items);
  std::string Scene(int depth);
  std::string Line(int depth);
  std::string Menu(int depth);
  std::string Buttons(int depth);
  std::string Text();
  std::string Input();

  std::mt19937 rng_;
  // Whether the text window is shown as the script reads now (".avi" and
  // ".bsc" need it hidden).
  bool window_shown_ = false;
  // The lines are those of the second scenario.
  bool in_other_ = false;
};

}  // namespace tsumugi::test
