// Playing every branch of a game: at each menu and at shown buttons the
// game is taken as a snapshot and every choice and every button is
// followed from it; click waits are clicked through, videos watched to
// their end. Branches that lead into a state already explored (the same
// whole game, apart from what only time changes: where music and timers
// stand) end there, so games whose menus meet again cost the sum of their
// branches, not their product, and a menu that loops back ends.
//
// Engine time is virtual, as in the headless runner: every path plays as
// fast as the processor allows, and with one job an exploration repeats
// exactly.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock/local_time.h"

namespace tsumugi::explore {

struct ExploreOptions {
  std::filesystem::path game_folder;
  // The game's settings file (it may not exist).
  std::filesystem::path settings_file;
  // A folder of our own for the save files the game writes: each job
  // keeps its own under it, put back with every state.
  std::filesystem::path scratch_folder;
  // Where a PNG of each distinct page goes (none: no pictures).
  std::optional<std::filesystem::path> pages_folder;
  // Paths ended before the exploration is cut, and waits a path may pass.
  size_t max_paths = 10000;
  uint64_t max_waits = 100000;
  int jobs = 1;
  LocalDateTime start_date{};
  std::optional<uint64_t> seed;
  // Called now and then while the exploration runs (from one thread).
  std::function<void(size_t paths, size_t waiting, size_t errors)> progress;
  std::chrono::milliseconds progress_every{250};
};

// How a path ends (the storyboard counts them by this order).
enum class EndKind { kEnd, kError, kRepeat, kLimit };
const char* EndName(EndKind kind);

// Where a branch ended: the kind, the scenario line ("start.txt:12", as
// the trace writes it), the error's text, and for a repeat the menu or
// button bar it met again (-1: a page of its own branch).
struct Ending {
  EndKind kind = EndKind::kEnd;
  std::string at;
  std::string error;
  int node = -1;
};

// A menu or a button bar, each distinct state once.
struct Node {
  std::string at;
  bool menu = false;
  // The page shown there (a PNG's name without ".png"; empty: none kept).
  std::string page;
  std::vector<int> edges;
};

// A way out of a node (or the game's start, node -1): the choice's text,
// "button N" or "click" (a click wait with buttons shown, answered), the
// pages passed on the way, and where it led: a node, or an ending.
struct Edge {
  int from = -1;
  std::string label;
  std::vector<std::string> pages;
  int to = -1;
  std::optional<Ending> ending;
};

// A path from the start to one ending: the choices and buttons taken.
struct Path {
  std::vector<std::string> choices;
  Ending ending;
  int edge = -1;
};

struct Line {
  std::string file;
  int line = 0;
  std::string text;
};

struct Exploration {
  std::vector<Node> nodes;
  std::vector<Edge> edges;
  std::vector<Path> paths;
  // The scenario lines that can run and no path ran, in scenario order.
  std::vector<Line> unreached;
  size_t lines = 0;
  size_t lines_reached = 0;
  // The lcov tracefile of all paths together.
  std::string coverage;
  // The exploration was cut by --max-paths before it was done.
  bool cut = false;
  size_t errors = 0;
  size_t limits = 0;
  // A page could not be written: the first problem.
  std::string write_error;
};

// Explores the game. Never throws for a fault of the game: those are
// endings.
Exploration Explore(const ExploreOptions& options);

}  // namespace tsumugi::explore
