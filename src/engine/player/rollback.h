// Going back through the waits the player answered, and forward again.
//
// Each wait is kept as a snapshot whose pictures lie apart from the rest of
// its state: every distinct picture once, compressed, shared by all the
// waits that hold it. A scene changes the text window and the screen from
// one wait to the next; the pages and pictures it never touched are kept
// once for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/state/snapshot.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// Pictures of many snapshots, each distinct one kept once, compressed.
class PictureStore {
 public:
  struct Packed;
  using Ref = std::shared_ptr<const Packed>;

  // The picture's pixels, packed: the ones already kept when the same
  // picture is kept, else newly packed. A picture lives as long as a Ref
  // to it.
  Ref Keep(const gdi::Surface& surface);
  // The pixels back into `surface`, whose size is set; false when the size
  // is not the picture's.
  [[nodiscard]] static bool Unpack(const Packed& packed, gdi::Surface& surface);
  // Bytes of the pictures kept.
  size_t Bytes();

 private:
  struct Key {
    uint64_t low = 0;
    uint64_t high = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Key&, const Key&) = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const { return static_cast<size_t>(key.low); }
  };
  std::unordered_map<Key, std::weak_ptr<const Packed>, KeyHash> kept_;
};

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
  struct Entry {
    // The state without its pixels, compressed, and its size unpacked.
    std::string state;
    size_t state_size = 0;
    // The pictures it names, by the numbers in its state.
    std::vector<PictureStore::Ref> pictures;
  };
  const Snapshot* Restore(const Entry& entry);

  std::deque<Entry> entries_;
  size_t at_ = 0;
  PictureStore store_;
  // The last snapshot unpacked; the next is read over it.
  Snapshot scratch_;
};

}  // namespace tsumugi
