// MIDI music: a General MIDI synthesizer (FluidSynth with a SoundFont) and
// the player that sends a song's events to it at their frames.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/audio_source.h"
#include "platform/media/midi_song.h"

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_sfont_t fluid_sfont_t;

namespace tsumugi::media {

class MidiSynth {
 public:
  // Null with a reason when the SoundFont cannot be loaded.
  static std::unique_ptr<MidiSynth> Create(const std::filesystem::path& soundfont,
                                           std::string* error);
  ~MidiSynth();
  MidiSynth(const MidiSynth&) = delete;
  MidiSynth& operator=(const MidiSynth&) = delete;

  // Every sound off and every channel back to its start-up state, on a
  // synthesizer made afresh: a reset message leaves the reverb, the chorus
  // and the voices with state of what played before, so a song would not
  // sound quite the same each time it starts.
  void Reset();
  void Send(const uint8_t* message, size_t size);
  // Renders `frames` stereo frames.
  void Render(int16_t* out, int frames);
  // The program of a channel (for tests).
  int Program(int channel) const;

 private:
  // The synthesizer makes sound in blocks of this many frames and holds
  // back what a call did not take, so the sound would depend on every call
  // since the synthesizer was made. It is asked for whole blocks only; the
  // rest of a block waits here and is thrown away by a reset. With a fresh
  // synthesizer at every reset, a song sounds the same from its start
  // whatever played before it, and can be played again up to any frame to
  // put it back there exactly.
  static constexpr int kBlock = 64;

  MidiSynth() = default;
  // A synthesizer on the loaded SoundFont, and letting one go.
  fluid_synth_t* NewPlayer();
  void DeletePlayer(fluid_synth_t* player);

  fluid_settings_t* settings_ = nullptr;
  // Loads the SoundFont and keeps it; never plays.
  fluid_synth_t* owner_ = nullptr;
  fluid_sfont_t* font_ = nullptr;
  // Plays, and the one that played before the last reset.
  fluid_synth_t* synth_ = nullptr;
  fluid_synth_t* retired_ = nullptr;
  std::array<float, kBlock> left_{}, right_{};
  int used_ = kBlock;
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
  [[nodiscard]] bool Rewind() override;
  uint64_t Position() const override { return position_; }
  // Exactly: the song is played from its start up to `frame` on the
  // synthesizer and the sound thrown away (a song's notes, envelopes and
  // reverb are state that only playing re-creates). Otherwise it is
  // chased: the controllers, programs, pitch bends and system exclusive
  // messages before `frame` are sent at once and the notes held there are
  // struck again. Without a synthesizer both only move the place.
  void Seek(uint64_t frame, bool exact) override;
  uint64_t Length() const { return song_.length; }

 private:
  void Chase(uint64_t frame);

  MidiPlayer() = default;
  MidiSong song_;
  MidiSynth* synth_ = nullptr;
  size_t next_ = 0;
  uint64_t position_ = 0;
};

}  // namespace tsumugi::media
