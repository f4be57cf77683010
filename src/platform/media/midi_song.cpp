#include "platform/media/midi_song.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/media/ffmpeg_input.h"

namespace tsumugi::media {

namespace {

// Times beyond this many frames (about 6,000 years) are cut to it.
constexpr double kMaxFrames = 9.0e15;

class Reader {
 public:
  Reader(std::string_view data, size_t begin, size_t end) : d_(data), pos_(begin), end_(end) {}
  bool AtEnd() const { return pos_ >= end_; }
  size_t Pos() const { return pos_; }
  size_t Left() const { return end_ - pos_; }
  bool Byte(uint8_t* out) {
    if (pos_ >= end_) return false;
    *out = static_cast<uint8_t>(d_[pos_++]);
    return true;
  }
  bool Big(int bytes, uint32_t* out) {
    if (Left() < static_cast<size_t>(bytes)) return false;
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<uint8_t>(d_[pos_++]);
    *out = v;
    return true;
  }
  // A variable-length quantity: at most four bytes of seven bits.
  bool Varlen(uint32_t* out) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b;
      if (!Byte(&b)) return false;
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80)) {
        *out = v;
        return true;
      }
    }
    return false;
  }
  bool Skip(size_t n) {
    if (Left() < n) return false;
    pos_ += n;
    return true;
  }
  const char* Here() const { return d_.data() + pos_; }

 private:
  std::string_view d_;
  size_t pos_;
  size_t end_;
};

struct TimedEvent {
  uint64_t tick;
  MidiEvent event;
};

struct Tempo {
  uint64_t tick;
  uint32_t us_per_quarter;
};

// Data bytes a channel or system common message carries after its status.
int DataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    case 0xF0:
      return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
    default:
      return 2;
  }
}

// One track: its events and tempo changes, and the tick of its end.
uint64_t ReadTrack(Reader& r, std::vector<TimedEvent>& events, std::vector<Tempo>& tempos,
                   std::vector<uint8_t>& bytes) {
  uint64_t tick = 0;
  uint8_t running = 0;
  auto add = [&](const uint8_t* data, size_t size) {
    MidiEvent e;
    e.offset = static_cast<uint32_t>(bytes.size());
    e.size = static_cast<uint32_t>(size);
    bytes.insert(bytes.end(), data, data + size);
    events.push_back({tick, e});
  };
  while (!r.AtEnd()) {
    uint32_t delta;
    uint8_t b;
    if (!r.Varlen(&delta) || !r.Byte(&b)) break;
    tick += delta;
    if (b == 0xFF) {
      uint8_t type;
      uint32_t length;
      if (!r.Byte(&type) || !r.Varlen(&length) || r.Left() < length) break;
      const auto* data = reinterpret_cast<const uint8_t*>(r.Here());
      if (type == 0x2F) break;
      if (type == 0x51 && length >= 3) {
        const uint32_t us = (uint32_t{data[0]} << 16) | (uint32_t{data[1]} << 8) | data[2];
        if (us > 0) tempos.push_back({tick, us});
      }
      r.Skip(length);
      continue;
    }
    if (b == 0xF0 || b == 0xF7) {
      uint32_t length;
      if (!r.Varlen(&length) || r.Left() < length) break;
      if (b == 0xF0) {
        // The message as a synthesizer takes it: F0, its data, F7.
        const auto* data = reinterpret_cast<const uint8_t*>(r.Here());
        MidiEvent e;
        e.offset = static_cast<uint32_t>(bytes.size());
        bytes.push_back(0xF0);
        bytes.insert(bytes.end(), data, data + length);
        if (bytes.back() != 0xF7) bytes.push_back(0xF7);
        e.size = static_cast<uint32_t>(bytes.size() - e.offset);
        events.push_back({tick, e});
      }
      r.Skip(length);
      // A system exclusive message cancels the running status.
      running = 0;
      continue;
    }
    uint8_t message[3] = {b, 0, 0};
    int have = 1;
    if (!(b & 0x80)) {
      // A data byte: the status of the message before it applies again.
      if (running == 0) break;
      message[0] = running;
      message[1] = b;
      have = 2;
    } else if (b < 0xF0) {
      running = b;
    } else {
      running = 0;
    }
    const int needed = 1 + DataBytes(message[0]);
    bool complete = true;
    for (; have < needed; ++have) {
      if (!r.Byte(&message[have])) {
        complete = false;
        break;
      }
    }
    if (!complete) break;
    for (int i = 1; i < needed; ++i) message[i] &= 0x7F;
    // System common and real-time bytes have no place in a file; they are
    // passed over.
    if (message[0] < 0xF0) add(message, static_cast<size_t>(needed));
  }
  return tick;
}

}  // namespace

bool IsMidiReset(const uint8_t* m, size_t n) {
  // General MIDI (1 and 2) system on, with any device number.
  if (n == 6 && m[0] == 0xF0 && m[1] == 0x7E && m[3] == 0x09 && (m[4] == 0x01 || m[4] == 0x03) &&
      m[5] == 0xF7) {
    return true;
  }
  // Roland GS reset (data set to address 40 00 7F, value 00).
  static constexpr uint8_t kGs[] = {0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  return n == 11 && m[0] == 0xF0 && m[1] == 0x41 && std::memcmp(m + 3, kGs, sizeof kGs) == 0;
}

bool ParseMidiSong(std::string_view file, MidiSong* out, std::string* error) {
  size_t begin = 0;
  size_t end = file.size();
  // A RIFF MIDI file (".rmi" content) carries the song in its "data" chunk.
  if (file.size() >= 12 && file.substr(0, 4) == "RIFF" && file.substr(8, 4) == "RMID") {
    Reader riff(file, 12, file.size());
    bool found = false;
    while (riff.Left() >= 8) {
      const std::string_view id = file.substr(riff.Pos(), 4);
      riff.Skip(4);
      uint32_t size_le = 0;
      for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        riff.Byte(&b);
        size_le |= uint32_t{b} << (8 * i);
      }
      const size_t size = std::min<size_t>(size_le, riff.Left());
      if (id == "data") {
        begin = riff.Pos();
        end = begin + size;
        found = true;
        break;
      }
      riff.Skip(size + (size & 1) <= riff.Left() ? size + (size & 1) : size);
    }
    if (!found) {
      *error = "a RIFF MIDI file without its song";
      return false;
    }
  }

  Reader r(file, begin, end);
  uint32_t id, header_size, format, tracks, division;
  if (!r.Big(4, &id) || id != 0x4D546864 /* MThd */ || !r.Big(4, &header_size) ||
      header_size < 6 || !r.Big(2, &format) || !r.Big(2, &tracks) || !r.Big(2, &division)) {
    *error = "not a MIDI file";
    return false;
  }
  r.Skip(std::min<size_t>(header_size - 6, r.Left()));
  // Ticks: per quarter note (tempo applies), or per second for SMPTE time.
  double ticks_per_second = 0;
  if (division & 0x8000) {
    const int fps = -static_cast<int8_t>(division >> 8);
    const double rate = fps == 29 ? 29.97 : fps;
    ticks_per_second = rate * (division & 0xFF);
    if (ticks_per_second <= 0) {
      *error = "a MIDI file with an unusable time division";
      return false;
    }
  } else if (division == 0) {
    *error = "a MIDI file with an unusable time division";
    return false;
  }

  std::vector<TimedEvent> events;
  std::vector<Tempo> tempos;
  MidiSong song;
  uint64_t length_ticks = 0;
  uint32_t read_tracks = 0;
  while (read_tracks < tracks && r.Left() >= 8) {
    uint32_t chunk = 0, size = 0;
    r.Big(4, &chunk);
    r.Big(4, &size);
    const size_t available = std::min<size_t>(size, r.Left());
    if (chunk == 0x4D54726B /* MTrk */) {
      Reader track(file, r.Pos(), r.Pos() + available);
      length_ticks = std::max(length_ticks, ReadTrack(track, events, tempos, song.bytes));
      ++read_tracks;
    }
    r.Skip(available);
  }
  if (read_tracks == 0) {
    *error = "a MIDI file without tracks";
    return false;
  }

  std::stable_sort(events.begin(), events.end(),
                   [](const TimedEvent& a, const TimedEvent& b) { return a.tick < b.tick; });
  std::stable_sort(tempos.begin(), tempos.end(),
                   [](const Tempo& a, const Tempo& b) { return a.tick < b.tick; });

  // Ticks to frames through the tempo map (500,000 us a quarter until the
  // first tempo change).
  size_t next_tempo = 0;
  uint64_t segment_tick = 0;
  double segment_us = 0;
  double us_per_tick = ticks_per_second > 0 ? 1e6 / ticks_per_second : 500000.0 / division;
  auto frame_of = [&](uint64_t tick) -> uint64_t {
    if (ticks_per_second <= 0) {
      while (next_tempo < tempos.size() && tempos[next_tempo].tick <= tick) {
        const Tempo& t = tempos[next_tempo++];
        segment_us += static_cast<double>(t.tick - segment_tick) * us_per_tick;
        segment_tick = t.tick;
        us_per_tick = static_cast<double>(t.us_per_quarter) / division;
      }
    }
    const double us = segment_us + static_cast<double>(tick - segment_tick) * us_per_tick;
    const double frames = std::floor(us * kSampleRate / 1e6 + 0.5);
    return static_cast<uint64_t>(std::min(frames, kMaxFrames));
  };
  song.events.reserve(events.size());
  for (TimedEvent& e : events) {
    e.event.frame = frame_of(e.tick);
    song.events.push_back(e.event);
  }
  song.length = frame_of(length_ticks);
  *out = std::move(song);
  return true;
}

}  // namespace tsumugi::media
