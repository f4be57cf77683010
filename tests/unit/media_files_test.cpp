// Reading MIDI songs, the synthesizer's resets and the CD track-file rule.
#include <gtest/gtest.h>

#include "platform/media/cd_tracks.h"
#include "platform/media/midi_player.h"
#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi::media {
namespace {
using namespace test;
using Bytes = std::vector<uint8_t>;

Bytes EventBytes(const MidiSong& song, size_t i) {
  const MidiEvent& e = song.events[i];
  return Bytes(song.bytes.begin() + e.offset, song.bytes.begin() + e.offset + e.size);
}

TEST(MidiSong, TracksMergeInTimeWithTheTempoMap) {
  // Track 1 halves the tempo's quarter length at 0.5 s; track 2 plays two
  // notes, the second with running status, and a GS reset.
  const std::string file = MakeMidi({
      {{480, {0xFF, 0x51, 0x03, 0xD0, 0x90}}, {480, {0xFF, 0x01, 'x'}}},
      {{0, {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}},
       {240, {0x90, 60, 100}},
       {480, {62, 100}}},
  });
  MidiSong song;
  std::string error;
  ASSERT_TRUE(ParseMidiSong(file, &song, &error)) << error;
  // 480 ticks at 120 a minute (0.5 s), then 480 at 240 a minute (0.25 s).
  EXPECT_EQ(song.length, 33075u);
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_TRUE(IsMidiReset(song.bytes.data() + song.events[0].offset, song.events[0].size));
  EXPECT_EQ(song.events[1].frame, 11025u);
  EXPECT_EQ(EventBytes(song, 1), (Bytes{0x90, 60, 100}));
  EXPECT_EQ(song.events[2].frame, 22050u + 5513u);
  EXPECT_EQ(EventBytes(song, 2), (Bytes{0x90, 62, 100}));

  // A file cut short plays what it has; one that is no MIDI file is refused.
  ASSERT_TRUE(ParseMidiSong(file.substr(0, 40), &song, &error)) << error;
  EXPECT_FALSE(ParseMidiSong(std::string_view("MThd\0\0\0\6\0\1\0\1\0\0", 14), &song, &error));
  EXPECT_FALSE(ParseMidiSong("RIFF", &song, &error));
}

TEST(MidiSynth, GeneralMidiAndGsResetsBringTheChannelsBack) {
  const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  std::string error;
  std::unique_ptr<MidiSynth> synth = MidiSynth::Create(font, &error);
  if (!synth) GTEST_SKIP() << error;
  const Bytes gm = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  const Bytes gs = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
  const Bytes other = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, 0x64, 0x58, 0xF7};
  const Bytes program = {0xC3, 40};
  for (const Bytes* reset : {&gm, &gs}) {
    synth->Send(program.data(), program.size());
    EXPECT_EQ(synth->Program(3), 40);
    synth->Send(other.data(), other.size());
    EXPECT_EQ(synth->Program(3), 40);
    synth->Send(reset->data(), reset->size());
    EXPECT_EQ(synth->Program(3), 0);
  }
}

TEST(CdTracks, NumberedFilesInTheGameFolderAndItsCdFolder) {
  TempDir game;
  EXPECT_EQ(FindCdTracks(game.path()).count, 0);
  for (const char* name : {"track02.ogg", "cd/Track05.WAV", "cd/track5.mp3", "CD/track3.flac",
                           "track3.wav", "track1x.wav", "trackA.mp3", "track6.txt", "track100.mp3"}) {
    WriteFile(game / name, "-");
  }
  const CdTrackFiles disc = FindCdTracks(game.path());
  // Track 1, the data track, and track 4 have no files and still count.
  EXPECT_EQ(disc.count, 5);
  ASSERT_EQ(disc.files.size(), 3u);
  EXPECT_EQ(disc.files.at(2).filename(), "track02.ogg");
  // The game folder before "cd"; among spellings the first in name order.
  EXPECT_EQ(disc.files.at(3), game / "track3.wav");
  EXPECT_EQ(disc.files.at(5).filename(), "Track05.WAV");
}

}  // namespace
}  // namespace tsumugi::media
