#include "engine/state/packed_snapshot.h"

#include <xxhash.h>
#include <zstd.h>

#include "engine/state/state_io.h"

namespace tsumugi {

namespace {

// Fast rather than small: a wait is kept as the player answers it.
constexpr int kLevel = 1;

std::string Pack(const void* data, size_t size) {
  std::string out(ZSTD_compressBound(size), '\0');
  const size_t n = ZSTD_compress(out.data(), out.size(), data, size, kLevel);
  // Compressing into a buffer of the bound cannot fail.
  out.resize(ZSTD_isError(n) ? 0 : n);
  out.shrink_to_fit();
  return out;
}

bool Unpack(const std::string& packed, void* data, size_t size) {
  const size_t n = ZSTD_decompress(data, size, packed.data(), packed.size());
  return !ZSTD_isError(n) && n == size;
}

// Hands the pictures of one packed snapshot to the state's writer and
// reader.
class EntryShelf final : public SurfaceShelf {
 public:
  EntryShelf(PictureStore* store, std::vector<PictureStore::Ref>& pictures)
      : store_(store), pictures_(pictures) {}

  uint32_t Put(const gdi::Surface& surface) override {
    pictures_.push_back(store_->Keep(surface));
    return static_cast<uint32_t>(pictures_.size() - 1);
  }
  bool Take(uint32_t index, gdi::Surface& surface) override {
    return index < pictures_.size() && PictureStore::Unpack(*pictures_[index], surface);
  }

 private:
  PictureStore* store_;
  std::vector<PictureStore::Ref>& pictures_;
};

}  // namespace

struct PictureStore::Packed {
  int width = 0;
  int height = 0;
  std::string bytes;
};

PictureStore::Ref PictureStore::Keep(const gdi::Surface& surface) {
  const size_t size = static_cast<size_t>(surface.Width()) * surface.Height() * 4;
  const XXH128_hash_t hash = XXH3_128bits(surface.Data(), size);
  const Key key{hash.low64, hash.high64, surface.Width(), surface.Height()};
  {
    std::lock_guard lock(mutex_);
    auto it = kept_.find(key);
    if (it != kept_.end()) {
      if (Ref kept = it->second.lock()) return kept;
    }
  }
  // Packed outside the lock: two threads packing the same picture at once
  // both keep a good copy.
  auto packed = std::make_shared<Packed>();
  packed->width = surface.Width();
  packed->height = surface.Height();
  packed->bytes = Pack(surface.Data(), size);
  std::lock_guard lock(mutex_);
  kept_[key] = packed;
  return packed;
}

bool PictureStore::Unpack(const Packed& packed, gdi::Surface& surface) {
  if (surface.Width() != packed.width || surface.Height() != packed.height) return false;
  const size_t size = static_cast<size_t>(packed.width) * packed.height * 4;
  return size == 0 || tsumugi::Unpack(packed.bytes, surface.Data(), size);
}

size_t PictureStore::Bytes() {
  std::lock_guard lock(mutex_);
  size_t total = 0;
  for (auto it = kept_.begin(); it != kept_.end();) {
    if (Ref kept = it->second.lock()) {
      total += kept->bytes.size() + sizeof(Packed);
      ++it;
    } else {
      it = kept_.erase(it);
    }
  }
  return total;
}

PackedSnapshot::PackedSnapshot(const Snapshot& snapshot, PictureStore& store) {
  EntryShelf shelf(&store, pictures_);
  const std::string state = EncodeSnapshotPayload(snapshot, &shelf);
  state_ = Pack(state.data(), state.size());
  state_size_ = state.size();
}

bool PackedSnapshot::Unpack(Snapshot& over) const {
  std::string state(state_size_, '\0');
  if (!tsumugi::Unpack(state_, state.data(), state.size())) return false;
  std::vector<PictureStore::Ref> pictures = pictures_;
  EntryShelf shelf(nullptr, pictures);
  std::string why;
  return DecodeSnapshotPayloadOver(state, over, &why, shelf);
}

}  // namespace tsumugi
