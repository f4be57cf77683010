#include "engine/player/rollback.h"

namespace tsumugi {

void Rollback::Arrive(const Snapshot& snapshot) {
  if (!entries_.empty()) entries_.resize(at_ + 1);
  entries_.emplace_back(snapshot, store_);
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
  for (const PackedSnapshot& entry : entries_) total += entry.Bytes();
  return total;
}

const Snapshot* Rollback::Restore(const PackedSnapshot& entry) {
  if (!entry.Unpack(scratch_)) {
    scratch_ = Snapshot();
    return nullptr;
  }
  return &scratch_;
}

}  // namespace tsumugi
