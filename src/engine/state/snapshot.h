// Snapshots: the whole of a running game, taken at a wait and put back
// exactly, in the same engine or a new one of the same game.
//
// A snapshot is the game state, what the host keeps for the game (the
// screen, the timers, the pointer, the media) and how the script goes on:
// from the event loop, or after what is left of a timed pause. It belongs
// to a game by the names of its scenarios; the scenarios' contents are
// recorded too, so that a game patched since is noticed (and still
// restored at the recorded line, as a save file is).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/snapshot/snapshot_file.h"
#include "engine/state/game_state.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"
#include "platform/media/media_service.h"

namespace tsumugi {

class Engine;
class SurfaceShelf;

struct ScenarioMark {
  // The catalogue name ("story\ch1").
  std::u16string name;
  // A hash of its lines as read.
  uint64_t hash = 0;

  friend bool operator==(const ScenarioMark&, const ScenarioMark&) = default;
};

struct Snapshot {
  std::vector<ScenarioMark> scenarios;
  GameState state;
  gdi::Surface screen;
  std::array<TimerSetting, kGameTimerCount> timers;
  Point pointer;
  MediaSnapshot media;
  // Taken in a timed pause: the milliseconds it still had to run before the
  // script went on.
  std::optional<uint32_t> pause_left;
  // The engine's clock when it was taken; a restore does not set the clock
  // back.
  uint64_t engine_time = 0;

  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

// The game's scenarios as they are now, in catalogue order (file 1 first).
std::vector<ScenarioMark> ScenarioMarks(Engine& engine);

// The name snapshot files give the game (a hash of its scenario names):
// files of another game are refused by it.
std::string SnapshotGameName(Engine& engine);
// The same from the scenario names, sorted as the catalogue sorts them.
std::string SnapshotGameName(const std::vector<std::u16string>& scenario_names);

// The file a snapshot is kept in, without its thumbnail and payload: the
// game's name, and the caption, engine time, date and page text that other
// programs show.
[[nodiscard]] SnapshotFile SnapshotFileFor(Engine& engine, const Snapshot& snapshot);

// The game as it stands. Only at a wait: no script may be on the stack
// unless it is in a timed pause, whose remaining time is `pause_left`.
[[nodiscard]] Snapshot TakeSnapshot(Engine& engine, std::optional<uint32_t> pause_left);
// The same over a snapshot taken before, reusing its memory (a tool that
// takes one at every wait).
void TakeSnapshotInto(Engine& engine, std::optional<uint32_t> pause_left, Snapshot& into);

// The state part of a snapshot file, and back. Decoding checks every count
// and size, and that the state is one the engine can run (positions inside
// the tables, the screen's size...); false with the reason otherwise.
// With a shelf, the pixels of every surface are kept on it instead.
[[nodiscard]] std::string EncodeSnapshotPayload(const Snapshot& snapshot,
                                                SurfaceShelf* shelf = nullptr);
[[nodiscard]] bool DecodeSnapshotPayload(std::string_view bytes, Snapshot* snapshot,
                                         std::string* why, SurfaceShelf* shelf = nullptr);
// The same read over a snapshot read before, in place, keeping the memory
// of its lists and pictures (going back a wait). On failure the snapshot
// is left half read.
[[nodiscard]] bool DecodeSnapshotPayloadOver(std::string_view bytes, Snapshot& snapshot,
                                             std::string* why, SurfaceShelf& shelf);

// Whether the snapshot can be put back into this engine: the same
// scenarios by name, every picture it names still there. The message for
// the player when not (empty when it can). Scenarios whose contents changed
// are listed in *changed (their names).
[[nodiscard]] std::u16string CheckSnapshot(Engine& engine, const Snapshot& snapshot,
                                           std::vector<std::u16string>* changed);

// Which buttons and keys are held down after a restore: as when the
// snapshot was taken (the same player goes on, as a test or a tool plays),
// or as they are now (a player who loads a game holds what they hold).
enum class HeldInput { kAsTaken, kAsNow };

// Puts the snapshot in place: the state, the pictures made again from it,
// the screen, timers, pointer, caption and media. The caller lets the
// script go on (ResumeAfterSnapshot) once it is back at the event loop.
void ApplySnapshot(Engine& engine, const Snapshot& snapshot, HeldInput held);

// Lets the script of a restored snapshot go on: nothing to do for one taken
// at a wait, the rest of the pause and then the script for one taken in a
// timed pause.
void ResumeAfterSnapshot(Engine& engine, const Snapshot& snapshot);

}  // namespace tsumugi
