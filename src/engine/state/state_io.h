// Bytes of the game state: a writer and a reader that one description of
// each structure (state_layout.h) walks the same way, so that they cannot
// drift apart. Numbers are little-endian; texts are their UTF-16 units;
// surfaces their size, colours and pixels.
//
// The reader checks every count and size against what is left of its
// input before it takes memory for it, so a damaged or hostile input ends
// the reading with an error, never with an allocation out of proportion to
// the bytes that came in.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// Thrown by the reader at the first thing that does not fit; caught where
// the reading began.
struct StateReadError {
  std::string what;
};

// The unsigned type of the bytes of an integer or an enumeration.
template <typename T>
struct BitsOf {
  using type = std::make_unsigned_t<T>;
};
template <typename T>
  requires std::is_enum_v<T>
struct BitsOf<T> {
  using type = std::make_unsigned_t<std::underlying_type_t<T>>;
};

// Where the pixels of surfaces can be kept apart from the bytes of a
// state: a writer or reader given a shelf writes (reads) a surface's size,
// colours and a number the shelf gave it. Going back through the waits
// keeps many states that share most of their pictures this way.
class SurfaceShelf {
 public:
  virtual ~SurfaceShelf() = default;
  virtual uint32_t Put(const gdi::Surface& surface) = 0;
  // The pixels of number `index` into `surface`, whose size is set; false
  // when there is no such number or the size is not its size.
  [[nodiscard]] virtual bool Take(uint32_t index, gdi::Surface& surface) = 0;
};

class StateWriter {
 public:
  static constexpr bool kReading = false;

  explicit StateWriter(SurfaceShelf* shelf = nullptr) : shelf_(shelf) {}

  void operator()(bool& value) { Byte(value ? 1 : 0); }
  template <typename T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
  void operator()(T& value) {
    using U = typename BitsOf<T>::type;
    U bits = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(U); ++i) Byte(static_cast<uint8_t>(bits >> (8 * i)));
  }
  void operator()(std::u16string& text);
  void operator()(std::string& text);
  void operator()(std::filesystem::path& path);
  void operator()(gdi::Surface& surface);
  void operator()(std::mt19937& generator);
  // A count of what follows (vectors).
  void Count(size_t& count, size_t /*min_bytes_each*/) {
    uint32_t n = static_cast<uint32_t>(count);
    (*this)(n);
  }

  std::string bytes;

 private:
  void Byte(uint8_t b) { bytes.push_back(static_cast<char>(b)); }

  SurfaceShelf* shelf_;
};

// Counts the bytes StateWriter writes for the same walk, so that the writer
// can take its memory at once instead of growing through copies of a state
// of many megabytes. Exact but for the random generator, counted at its
// longest.
class StateSizer {
 public:
  static constexpr bool kReading = false;

  void operator()(bool&) { bytes += 1; }
  template <typename T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
  void operator()(T&) {
    bytes += sizeof(typename BitsOf<T>::type);
  }
  void operator()(std::u16string& text) { bytes += 4 + 2 * text.size(); }
  void operator()(std::string& text) { bytes += 4 + text.size(); }
  void operator()(std::filesystem::path& path) { bytes += 4 + path.native().size(); }
  void operator()(gdi::Surface& surface) {
    bytes += 16 + static_cast<size_t>(surface.Width()) * static_cast<size_t>(surface.Height()) * 4;
  }
  // Its words as text: 624 numbers and the position, each of at most ten
  // digits, and the spaces between them.
  void operator()(std::mt19937&) { bytes += 4 + 625 * 11; }
  void Count(size_t&, size_t) { bytes += 4; }

  size_t bytes = 0;
};

class StateReader {
 public:
  static constexpr bool kReading = true;

  explicit StateReader(std::string_view bytes, SurfaceShelf* shelf = nullptr)
      : bytes_(bytes), shelf_(shelf) {}

  // Reading over a state read before, with every picture on a shelf:
  // lists keep their elements and surfaces of the same size their memory,
  // each overwritten whole, instead of being made anew. Going back a wait
  // reads many megabytes of pictures this way without allocating them.
  bool Reuses() const { return shelf_ != nullptr; }

  void operator()(bool& value) {
    const uint8_t b = Byte();
    if (b > 1) Fail("a yes/no value is " + std::to_string(b));
    value = b == 1;
  }
  template <typename T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
  void operator()(T& value) {
    using U = typename BitsOf<T>::type;
    Need(sizeof(U));
    U bits = 0;
    for (size_t i = 0; i < sizeof(U); ++i) bits |= static_cast<U>(static_cast<U>(Byte()) << (8 * i));
    value = static_cast<T>(bits);
  }
  void operator()(std::u16string& text);
  void operator()(std::string& text);
  void operator()(std::filesystem::path& path);
  void operator()(gdi::Surface& surface);
  void operator()(std::mt19937& generator);
  // A count of what follows, each taking at least `min_bytes_each` bytes:
  // more than the rest of the input can hold is damage.
  void Count(size_t& count, size_t min_bytes_each);

  bool AtEnd() const { return at_ == bytes_.size(); }
  [[noreturn]] void Fail(const std::string& what) const { throw StateReadError{what}; }

 private:
  void Need(size_t n) const {
    if (bytes_.size() - at_ < n) Fail("the state ends early");
  }
  uint8_t Byte() {
    Need(1);
    return static_cast<uint8_t>(bytes_[at_++]);
  }

  std::string_view bytes_;
  size_t at_ = 0;
  SurfaceShelf* shelf_;
};

// Containers, walked element by element.
template <typename Io, typename T, size_t N>
void Walk(Io& io, std::array<T, N>& items) {
  for (T& item : items) Walk(io, item);
}

template <typename Io, typename T>
void Walk(Io& io, std::vector<T>& items) {
  size_t count = items.size();
  io.Count(count, 1);
  if constexpr (Io::kReading) {
    if (io.Reuses()) {
      items.resize(count);
    } else {
      items.assign(count, T{});
    }
  }
  for (T& item : items) Walk(io, item);
}

template <typename Io, typename T>
void Walk(Io& io, std::optional<T>& item) {
  bool present = item.has_value();
  io(present);
  if constexpr (Io::kReading) item = present ? std::optional<T>(T{}) : std::nullopt;
  if (item) Walk(io, *item);
}

// Maps and sets are written in their order; the reader takes an entry out
// of order or twice as damage, so that what it builds is what was written.
template <typename Io, typename K, typename V>
void Walk(Io& io, std::map<K, V>& items) {
  size_t count = items.size();
  io.Count(count, 2);
  if constexpr (Io::kReading) {
    items.clear();
    for (size_t i = 0; i < count; ++i) {
      K key{};
      V value{};
      Walk(io, key);
      Walk(io, value);
      if (!items.empty() && !(items.rbegin()->first < key)) io.Fail("a map is out of order");
      items.emplace_hint(items.end(), std::move(key), std::move(value));
    }
  } else {
    for (auto& [key, value] : items) {
      K k = key;
      Walk(io, k);
      Walk(io, value);
    }
  }
}

template <typename Io, typename T>
void Walk(Io& io, std::set<T>& items) {
  size_t count = items.size();
  io.Count(count, 1);
  if constexpr (Io::kReading) {
    items.clear();
    for (size_t i = 0; i < count; ++i) {
      T item{};
      Walk(io, item);
      if (!items.empty() && !(*items.rbegin() < item)) io.Fail("a set is out of order");
      items.insert(items.end(), std::move(item));
    }
  } else {
    for (T item : items) Walk(io, item);
  }
}

// Plain values.
template <typename Io, typename T>
  requires(std::is_arithmetic_v<T> || std::is_enum_v<T> ||
           std::is_same_v<T, std::u16string> || std::is_same_v<T, std::string> ||
           std::is_same_v<T, std::filesystem::path> || std::is_same_v<T, gdi::Surface> ||
           std::is_same_v<T, std::mt19937>)
void Walk(Io& io, T& value) {
  io(value);
}

template <typename Io>
void Walk(Io& io, gdi::LogFont& font) {
  io(font.face);
  int32_t height = font.height;
  io(height);
  font.height = height;
  io(font.bold);
  io(font.italic);
}

}  // namespace tsumugi
