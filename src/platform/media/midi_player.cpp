#include "platform/media/midi_player.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "common/file_lookup.h"
#include "platform/lazy/lazy_library.h"
#include "platform/media/ffmpeg_input.h"

namespace tsumugi::media {

namespace {

// FluidSynth (and all it links: sound servers, sample file readers, glib)
// is loaded when the first song is synthesized, never by a run that only
// keeps the music's time.
LazyLibrary& FluidSynth() {
  static LazyLibrary library(
      {"libfluidsynth.so.3", "libfluidsynth.so.2", "libfluidsynth.so"},
      {"delete_fluid_settings", "delete_fluid_synth", "fluid_set_log_function",
      "fluid_settings_setint", "fluid_settings_setnum", "fluid_synth_add_sfont", "fluid_synth_cc",
      "fluid_synth_channel_pressure", "fluid_synth_get_program", "fluid_synth_get_sfont_by_id",
      "fluid_synth_key_pressure", "fluid_synth_noteoff", "fluid_synth_noteon",
      "fluid_synth_pitch_bend", "fluid_synth_program_change", "fluid_synth_remove_sfont",
      "fluid_synth_sfload", "fluid_synth_sysex",
      "fluid_synth_system_reset", "fluid_synth_write_float", "new_fluid_settings",
      "new_fluid_synth"});
  return library;
}

}  // namespace

}  // namespace tsumugi::media

// The functions of FluidSynth, through the library once it is loaded.
#define TSUMUGI_FLUID(name)                                                                   \
  ([] {                                                                                       \
    static const auto function =                                                              \
        reinterpret_cast<decltype(&name)>(::tsumugi::media::FluidSynth().Function(#name));    \
    return function;                                                                          \
  }())
#define delete_fluid_settings TSUMUGI_FLUID(delete_fluid_settings)
#define delete_fluid_synth TSUMUGI_FLUID(delete_fluid_synth)
#define fluid_set_log_function TSUMUGI_FLUID(fluid_set_log_function)
#define fluid_settings_setint TSUMUGI_FLUID(fluid_settings_setint)
#define fluid_settings_setnum TSUMUGI_FLUID(fluid_settings_setnum)
#define fluid_synth_add_sfont TSUMUGI_FLUID(fluid_synth_add_sfont)
#define fluid_synth_cc TSUMUGI_FLUID(fluid_synth_cc)
#define fluid_synth_channel_pressure TSUMUGI_FLUID(fluid_synth_channel_pressure)
#define fluid_synth_get_program TSUMUGI_FLUID(fluid_synth_get_program)
#define fluid_synth_get_sfont_by_id TSUMUGI_FLUID(fluid_synth_get_sfont_by_id)
#define fluid_synth_key_pressure TSUMUGI_FLUID(fluid_synth_key_pressure)
#define fluid_synth_noteoff TSUMUGI_FLUID(fluid_synth_noteoff)
#define fluid_synth_noteon TSUMUGI_FLUID(fluid_synth_noteon)
#define fluid_synth_pitch_bend TSUMUGI_FLUID(fluid_synth_pitch_bend)
#define fluid_synth_program_change TSUMUGI_FLUID(fluid_synth_program_change)
#define fluid_synth_remove_sfont TSUMUGI_FLUID(fluid_synth_remove_sfont)
#define fluid_synth_sfload TSUMUGI_FLUID(fluid_synth_sfload)
#define fluid_synth_sysex TSUMUGI_FLUID(fluid_synth_sysex)
#define fluid_synth_system_reset TSUMUGI_FLUID(fluid_synth_system_reset)
#define fluid_synth_write_float TSUMUGI_FLUID(fluid_synth_write_float)
#define new_fluid_settings TSUMUGI_FLUID(new_fluid_settings)
#define new_fluid_synth TSUMUGI_FLUID(new_fluid_synth)

namespace tsumugi::media {

namespace {

// MIDI files are small; anything larger than this is not one.
constexpr size_t kMaxMidiFileSize = 16 << 20;

// The synthesizer talks on standard error about damaged SoundFonts and
// unknown presets; the engine reports what matters once itself.
std::string* last_fluid_error = nullptr;
void KeepFluidError(int level, const char* message, void*) {
  if (level <= FLUID_ERR && last_fluid_error) *last_fluid_error = message;
}
void QuietSynth() {
  static const bool once = [] {
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
      fluid_set_log_function(level, KeepFluidError, nullptr);
    }
    return true;
  }();
  (void)once;
}

}  // namespace

std::filesystem::path DefaultSoundFont() {
  for (const char* candidate : {"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                "/usr/share/sounds/sf2/TimGM6mb.sf2",
                                "/usr/share/sounds/sf2/default-GM.sf2"}) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

std::unique_ptr<MidiSynth> MidiSynth::Create(const std::filesystem::path& soundfont,
                                             std::string* error) {
  if (!FluidSynth().Load()) {
    *error = FluidSynth().Error();
    return nullptr;
  }
  QuietSynth();
  std::unique_ptr<MidiSynth> s(new MidiSynth());
  s->settings_ = new_fluid_settings();
  if (!s->settings_) {
    *error = "out of memory";
    return nullptr;
  }
  fluid_settings_setnum(s->settings_, "synth.sample-rate", kSampleRate);
  // Everything runs on the engine's thread.
  fluid_settings_setint(s->settings_, "synth.threadsafe-api", 0);
  fluid_settings_setint(s->settings_, "synth.cpu-cores", 1);
  // Louder than the synthesizer's cautious default, about as loud as the
  // sound modules of the time next to a full-scale wave sound.
  fluid_settings_setnum(s->settings_, "synth.gain", 0.5);
  // As many voices as the sound modules of the time had; it also bounds
  // the work of a song that strikes thousands of notes at once.
  fluid_settings_setint(s->settings_, "synth.polyphony", 64);
  // Samples are read when an instrument is first chosen, so that a large
  // SoundFont does not hold up the first song.
  fluid_settings_setint(s->settings_, "synth.dynamic-sample-loading", 1);
  s->owner_ = new_fluid_synth(s->settings_);
  if (!s->owner_) {
    *error = "cannot start the synthesizer";
    return nullptr;
  }
  // Only SoundFont 2 files are taken: the synthesizer would hand anything
  // else to a loader that complains on standard error.
  char head[12] = {};
  std::ifstream(soundfont, std::ios::binary).read(head, sizeof head);
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "sfbk", 4) != 0) {
    *error = "not a SoundFont";
    return nullptr;
  }
  std::string fluid_error;
  last_fluid_error = &fluid_error;
  const int id = fluid_synth_sfload(s->owner_, soundfont.c_str(), 1);
  last_fluid_error = nullptr;
  if (id == FLUID_FAILED) {
    *error = fluid_error.empty() ? "not a SoundFont" : fluid_error;
    return nullptr;
  }
  s->font_ = fluid_synth_get_sfont_by_id(s->owner_, id);
  s->synth_ = s->NewPlayer();
  if (!s->synth_) {
    *error = "cannot start the synthesizer";
    return nullptr;
  }
  return s;
}

fluid_synth_t* MidiSynth::NewPlayer() {
  fluid_synth_t* player = new_fluid_synth(settings_);
  if (player && fluid_synth_add_sfont(player, font_) == FLUID_FAILED) {
    delete_fluid_synth(player);
    return nullptr;
  }
  return player;
}

void MidiSynth::DeletePlayer(fluid_synth_t* player) {
  if (!player) return;
  // The SoundFont belongs to the owner.
  fluid_synth_remove_sfont(player, font_);
  delete_fluid_synth(player);
}

MidiSynth::~MidiSynth() {
  DeletePlayer(synth_);
  DeletePlayer(retired_);
  if (owner_) delete_fluid_synth(owner_);
  if (settings_) delete_fluid_settings(settings_);
}

void MidiSynth::Reset() {
  used_ = kBlock;
  fluid_synth_t* fresh = NewPlayer();
  if (!fresh) {
    fluid_synth_system_reset(synth_);
    return;
  }
  // The one before is kept until the next reset: the samples of its
  // instruments stay loaded while the next song chooses its own, which
  // are most often the same (a song starting again).
  DeletePlayer(retired_);
  retired_ = synth_;
  synth_ = fresh;
}

void MidiSynth::Send(const uint8_t* m, size_t size) {
  if (size == 0) return;
  if (m[0] == 0xF0) {
    // A General MIDI or GS reset puts every channel back to its start-up
    // state, whatever the synthesizer itself makes of the message.
    if (IsMidiReset(m, size)) {
      fluid_synth_system_reset(synth_);
    } else if (size > 2 && size < 65536) {
      fluid_synth_sysex(synth_, reinterpret_cast<const char*>(m + 1), static_cast<int>(size - 2),
                        nullptr, nullptr, nullptr, 0);
    }
    return;
  }
  const int channel = m[0] & 0x0F;
  const int a = size > 1 ? m[1] : 0;
  const int b = size > 2 ? m[2] : 0;
  switch (m[0] & 0xF0) {
    case 0x80:
      fluid_synth_noteoff(synth_, channel, a);
      break;
    case 0x90:
      if (b == 0) {
        fluid_synth_noteoff(synth_, channel, a);
      } else {
        fluid_synth_noteon(synth_, channel, a, b);
      }
      break;
    case 0xA0:
      fluid_synth_key_pressure(synth_, channel, a, b);
      break;
    case 0xB0:
      fluid_synth_cc(synth_, channel, a, b);
      break;
    case 0xC0:
      fluid_synth_program_change(synth_, channel, a);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(synth_, channel, a);
      break;
    case 0xE0:
      fluid_synth_pitch_bend(synth_, channel, a | (b << 7));
      break;
    default:
      break;
  }
}

void MidiSynth::Render(int16_t* out, int frames) {
  int done = 0;
  while (done < frames) {
    if (used_ == kBlock) {
      fluid_synth_write_float(synth_, kBlock, left_.data(), 0, 1, right_.data(), 0, 1);
      used_ = 0;
    }
    const int n = std::min(frames - done, kBlock - used_);
    int16_t* to = out + static_cast<size_t>(done) * 2;
    for (int i = 0; i < n; ++i) {
      const size_t k = static_cast<size_t>(used_ + i);
      to[2 * i] = static_cast<int16_t>(std::clamp(std::lrint(left_[k] * 32767.0f), -32768L, 32767L));
      to[2 * i + 1] =
          static_cast<int16_t>(std::clamp(std::lrint(right_[k] * 32767.0f), -32768L, 32767L));
    }
    used_ += n;
    done += n;
  }
}

int MidiSynth::Program(int channel) const {
  int sfont = 0, bank = 0, preset = 0;
  fluid_synth_get_program(synth_, channel, &sfont, &bank, &preset);
  return preset;
}

std::unique_ptr<MidiPlayer> MidiPlayer::Open(const std::filesystem::path& path, MidiSynth* synth,
                                             std::string* error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxMidiFileSize) {
    *error = "too large for a MIDI file";
    return nullptr;
  }
  std::string bytes;
  if (!ReadWholeFile(path, &bytes, error)) return nullptr;
  std::unique_ptr<MidiPlayer> player(new MidiPlayer());
  if (!ParseMidiSong(bytes, &player->song_, error)) return nullptr;
  player->synth_ = synth;
  static_cast<void>(player->Rewind());  // a song in memory always rewinds
  return player;
}

bool MidiPlayer::Rewind() {
  next_ = 0;
  position_ = 0;
  if (synth_) synth_->Reset();
  return true;
}

void MidiPlayer::Seek(uint64_t frame, bool exact) {
  frame = std::min(frame, song_.length);
  // A song just opened or rewound is at its start on a fresh synthesizer
  // already.
  if (position_ != 0 || next_ != 0) static_cast<void>(Rewind());  // always succeeds
  if (synth_ && exact) {
    constexpr int kStep = 4096;
    std::vector<int16_t> scratch(kStep * 2);
    while (position_ < frame) {
      if (Read(scratch.data(), static_cast<int>(std::min<uint64_t>(kStep, frame - position_))) == 0) break;
    }
    return;
  }
  Chase(frame);
}

void MidiPlayer::Chase(uint64_t frame) {
  // The velocity of each key held down, and of each let go while the
  // sustain pedal holds it on.
  struct Channel {
    bool pedal = false;
    std::array<uint8_t, 128> held{};
    std::array<uint8_t, 128> sustained{};
    void Release(uint8_t key) {
      if (pedal && held[key]) sustained[key] = held[key];
      held[key] = 0;
    }
  };
  std::array<Channel, 16> channels{};
  for (; next_ < song_.events.size() && song_.events[next_].frame < frame; ++next_) {
    if (!synth_) continue;
    const MidiEvent& e = song_.events[next_];
    const uint8_t* m = song_.bytes.data() + e.offset;
    if (m[0] == 0xF0) {
      synth_->Send(m, e.size);
      if (IsMidiReset(m, e.size)) channels = {};
      continue;
    }
    Channel& c = channels[m[0] & 0x0F];
    const uint8_t a = e.size > 1 ? m[1] : 0;
    const uint8_t b = e.size > 2 ? m[2] : 0;
    switch (m[0] & 0xF0) {
      case 0x90:
        if (b != 0) {
          c.held[a] = b;
          c.sustained[a] = 0;
          break;
        }
        [[fallthrough]];
      case 0x80:
        c.Release(a);
        break;
      case 0xA0:
        // Pressure on one key matters only to a note that sounds.
        break;
      case 0xB0:
        synth_->Send(m, e.size);
        if (a == 64 || a == 121) {
          // The sustain pedal, or every controller back to its default.
          c.pedal = a == 64 && b >= 64;
          if (!c.pedal) c.sustained = {};
        } else if (a == 120) {
          // All sound off.
          c.held = {};
          c.sustained = {};
        } else if (a >= 123) {
          // All notes off, also implied by the mode messages.
          for (int key = 0; key < 128; ++key) c.Release(static_cast<uint8_t>(key));
        }
        break;
      default:
        // Program, channel pressure, pitch bend.
        synth_->Send(m, e.size);
        break;
    }
  }
  position_ = frame;
  if (!synth_) return;
  for (int channel = 0; channel < 16; ++channel) {
    const Channel& c = channels[static_cast<size_t>(channel)];
    for (int key = 0; key < 128; ++key) {
      const uint8_t velocity = c.held[static_cast<size_t>(key)] ? c.held[static_cast<size_t>(key)]
                                                                : c.sustained[static_cast<size_t>(key)];
      if (velocity == 0) continue;
      const uint8_t on[3] = {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(key), velocity};
      synth_->Send(on, 3);
      if (!c.held[static_cast<size_t>(key)]) {
        // Let go again at once: the pedal keeps it sounding.
        const uint8_t off[3] = {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(key), 0};
        synth_->Send(off, 3);
      }
    }
  }
}

int MidiPlayer::Read(int16_t* out, int frames) {
  int done = 0;
  while (done < frames) {
    while (next_ < song_.events.size() && song_.events[next_].frame <= position_) {
      const MidiEvent& e = song_.events[next_++];
      if (synth_) synth_->Send(song_.bytes.data() + e.offset, e.size);
    }
    if (position_ >= song_.length) break;
    uint64_t until = std::min<uint64_t>(song_.length, position_ + static_cast<uint64_t>(frames - done));
    if (next_ < song_.events.size()) until = std::min(until, song_.events[next_].frame);
    const int n = static_cast<int>(until - position_);
    if (out) {
      int16_t* at = out + static_cast<size_t>(done) * 2;
      if (synth_) {
        synth_->Render(at, n);
      } else {
        std::fill(at, at + static_cast<size_t>(n) * 2, int16_t{0});
      }
    }
    position_ = until;
    done += n;
  }
  return done;
}

}  // namespace tsumugi::media
