// The fuzz targets: each takes one input of any bytes and must neither crash
// nor break its invariants (a broken invariant traps). libFuzzer runs each
// one on its own (scripts/fuzz.sh); the test suite runs every seed and every
// input that once crashed through the same functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tsumugi::fuzz {

// A scenario, a configuration file and player actions (separated by NUL
// bytes) played on the headless host, then read by the checker.
int Script(const uint8_t* data, size_t size);
// A text through substitution, integer arguments, expressions, colour words
// and the value commands.
int Expression(const uint8_t* data, size_t size);
// A picture (first byte: bitmap, JPEG, cursor or icon) through the loaders
// and the mask.
int Picture(const uint8_t* data, size_t size);
// A save file through the reader; what it accepts must be written and read
// back unchanged.
int Save(const uint8_t* data, size_t size);
// The media readers and devices (first byte: MIDI, sound, video, devices).
int Media(const uint8_t* data, size_t size);
// A snapshot file through the reader; what it accepts must be written and
// read back unchanged.
int Snapshot(const uint8_t* data, size_t size);

}  // namespace tsumugi::fuzz
