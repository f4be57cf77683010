// MIDI music: a General MIDI synthesizer (FluidSynth with a SoundFont) and
// the player that sends a song's events to it at their frames.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/audio_source.h"
#include "platform/media/midi_song.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace tsumugi::media {

class MidiSynth {
 public:
  // Null with a reason when the SoundFont cannot be loaded.
  static std::unique_ptr<MidiSynth> Create(const std::filesystem::path& soundfont,
                                           std::string* error);
  ~MidiSynth();
  MidiSynth(const MidiSynth&) = delete;
  MidiSynth& operator=(const MidiSynth&) = delete;

  // Every sound off and every channel back to its start-up state.
  void Reset();
  void Send(const uint8_t* message, size_t size);
  // Renders `frames` stereo frames.
  void Render(int16_t* out, int frames);
  // The program of a channel (for tests).
  int Program(int channel) const;

 private:
  MidiSynth() = default;
  fluid_settings_t* settings_ = nullptr;
  fluid_synth_t* synth_ = nullptr;
  std::vector<float> left_, right_;
};

// The SoundFont used when none is named: the General MIDI fonts of the
// distribution, the large one first. Empty when none is installed.
std::filesystem::path DefaultSoundFont();

// One song on a synthesizer. Without a synthesizer the song still runs its
// course, in silence, so that it ends at its time.
class MidiPlayer final : public AudioSource {
 public:
  // Null with a reason when the file is not a MIDI song.
  static std::unique_ptr<MidiPlayer> Open(const std::filesystem::path& path, MidiSynth* synth,
                                          std::string* error);
  int Read(int16_t* out, int frames) override;
  bool Rewind() override;
  uint64_t Length() const { return song_.length; }

 private:
  MidiPlayer() = default;
  MidiSong song_;
  MidiSynth* synth_ = nullptr;
  size_t next_ = 0;
  uint64_t position_ = 0;
};

}  // namespace tsumugi::media
