// Going back through the waits the player answered, and forward again.
//
// Each wait is kept as a packed snapshot: the pictures that did not change
// from one wait to the next are kept once for all of them.
#pragma once

#include <cstddef>
#include <deque>

#include "engine/state/packed_snapshot.h"
#include "engine/state/snapshot.h"

namespace tsumugi {

class Rollback {
 public:
  // Waits kept behind the one the game stands at.
  static constexpr size_t kMaxBack = 100;
  // Beyond this, the oldest waits go even before kMaxBack is reached, so
  // that a game of very large pictures cannot take all memory.
  static constexpr size_t kMaxBytes = size_t{256} << 20;

  // The game has come to a new wait: what lay ahead of the current one (a
  // way gone back from) is dropped, and this wait becomes the current one.
  void Arrive(const Snapshot& snapshot);
  // Kept wait `index` (from 0, the oldest), which becomes the current one:
  // its snapshot, which lives until the next move; nullptr when it cannot
  // be read back.
  const Snapshot* MoveTo(size_t index);
  void Clear();

  size_t Count() const { return entries_.size(); }
  size_t Position() const { return at_; }
  // Memory the kept waits take: the states and the pictures.
  size_t Bytes();

 private:
  const Snapshot* Restore(const PackedSnapshot& entry);

  std::deque<PackedSnapshot> entries_;
  size_t at_ = 0;
  PictureStore store_;
  // The last snapshot unpacked; the next is read over it.
  Snapshot scratch_;
};

}  // namespace tsumugi
