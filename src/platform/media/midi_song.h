// A Standard MIDI File read into one list of events in playing order, each
// at its frame of the mix (tempo changes applied), so that the song can be
// played, sought and measured without a synthesizer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tsumugi::media {

struct MidiEvent {
  // Frames of the mix from the start of the song.
  uint64_t frame = 0;
  // The message bytes (status first; system exclusive messages start with
  // 0xF0 and end with 0xF7), in MidiSong::bytes.
  uint32_t offset = 0;
  uint32_t size = 0;
};

struct MidiSong {
  std::vector<MidiEvent> events;
  std::vector<uint8_t> bytes;
  // The end of the last track, in frames.
  uint64_t length = 0;
};

// Reads format 0, 1 and 2 files (the tracks of format 2 sound together, as
// those of format 1). Truncated tracks are read as far as they go, and a
// header that announces more tracks than the file holds is believed only as
// far as the file goes. False with a reason when the bytes are not a MIDI
// file at all or hold no track.
[[nodiscard]] bool ParseMidiSong(std::string_view file, MidiSong* out, std::string* error);

// True for the system exclusive messages that reset a General MIDI or GS
// sound module.
bool IsMidiReset(const uint8_t* message, size_t size);

}  // namespace tsumugi::media
