// Snapshots kept in memory by the many: the state without its pixels,
// compressed, and every distinct picture once, compressed, shared by all the
// snapshots that hold it. A scene changes the text window and the screen
// from one wait to the next; the pages and pictures it never touched are
// kept once for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/state/snapshot.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// Pictures of many snapshots, each distinct one kept once, compressed. It
// may be shared by threads.
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
  std::mutex mutex_;
  std::unordered_map<Key, std::weak_ptr<const Packed>, KeyHash> kept_;
};

// One snapshot, packed with its pictures on a store.
class PackedSnapshot {
 public:
  PackedSnapshot() = default;
  PackedSnapshot(const Snapshot& snapshot, PictureStore& store);

  // The snapshot read back over `over` (keeping the memory of its lists
  // and pictures); false when it cannot be read.
  [[nodiscard]] bool Unpack(Snapshot& over) const;
  // Bytes of the state and of the references to its pictures (the
  // pictures themselves are the store's).
  size_t Bytes() const { return state_.size() + pictures_.size() * sizeof(PictureStore::Ref); }

 private:
  std::string state_;
  size_t state_size_ = 0;
  // The pictures it names, by the numbers in its state.
  std::vector<PictureStore::Ref> pictures_;
};

}  // namespace tsumugi
