#include "engine/player/rollback.h"

#include <xxhash.h>
#include <zstd.h>

#include <utility>

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
  auto it = kept_.find(key);
  if (it != kept_.end()) {
    if (Ref kept = it->second.lock()) return kept;
  }
  auto packed = std::make_shared<Packed>();
  packed->width = surface.Width();
  packed->height = surface.Height();
  packed->bytes = Pack(surface.Data(), size);
  kept_[key] = packed;
  return packed;
}

bool PictureStore::Unpack(const Packed& packed, gdi::Surface& surface) {
  if (surface.Width() != packed.width || surface.Height() != packed.height) return false;
  const size_t size = static_cast<size_t>(packed.width) * packed.height * 4;
  return size == 0 || tsumugi::Unpack(packed.bytes, surface.Data(), size);
}

size_t PictureStore::Bytes() {
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

namespace {

// Hands the pictures of one kept wait to the state's writer and reader.
class EntryShelf final : public SurfaceShelf {
 public:
  EntryShelf(PictureStore& store, std::vector<PictureStore::Ref>& pictures)
      : store_(store), pictures_(pictures) {}

  uint32_t Put(const gdi::Surface& surface) override {
    pictures_.push_back(store_.Keep(surface));
    return static_cast<uint32_t>(pictures_.size() - 1);
  }
  bool Take(uint32_t index, gdi::Surface& surface) override {
    return index < pictures_.size() && PictureStore::Unpack(*pictures_[index], surface);
  }

 private:
  PictureStore& store_;
  std::vector<PictureStore::Ref>& pictures_;
};

}  // namespace

void Rollback::Arrive(const Snapshot& snapshot) {
  if (!entries_.empty()) entries_.resize(at_ + 1);
  Entry entry;
  EntryShelf shelf(store_, entry.pictures);
  const std::string state = EncodeSnapshotPayload(snapshot, &shelf);
  entry.state = Pack(state.data(), state.size());
  entry.state_size = state.size();
  entries_.push_back(std::move(entry));
  at_ = entries_.size() - 1;
  while (entries_.size() > 1 && (entries_.size() > kMaxBack + 1 || Bytes() > kMaxBytes)) {
    entries_.pop_front();
    --at_;
  }
}

const Snapshot* Rollback::MoveTo(size_t index) {
  if (index >= entries_.size()) return nullptr;
  at_ = index;
  return Restore(entries_[at_]);
}

void Rollback::Clear() {
  entries_.clear();
  at_ = 0;
}

size_t Rollback::Bytes() {
  size_t total = store_.Bytes();
  for (const Entry& entry : entries_) {
    total += entry.state.size() + entry.pictures.size() * sizeof(PictureStore::Ref);
  }
  return total;
}

const Snapshot* Rollback::Restore(const Entry& entry) {
  std::string state(entry.state_size, '\0');
  if (!Unpack(entry.state, state.data(), state.size())) return nullptr;
  std::vector<PictureStore::Ref> pictures = entry.pictures;
  EntryShelf shelf(store_, pictures);
  std::string why;
  if (!DecodeSnapshotPayloadOver(state, scratch_, &why, shelf)) {
    scratch_ = Snapshot();
    return nullptr;
  }
  return &scratch_;
}

}  // namespace tsumugi
