// Audio CD tracks as files, since nobody plays from the disc any more.
//
// A track is a file named "track" and its number, with or without leading
// zeros ("track2", "track02"), with the extension flac, ogg, mp3 or wav,
// found without regard to case in the game folder or its "cd" subfolder.
// The disc has as many tracks as the highest number found (track 1, the
// data track of a game disc, counts even when it has no file); no track
// files make a disc without tracks. Only regular files inside the game
// folder (symbolic links followed) are tracks; anything else so named is
// passed over and listed, so that the player can be told.
#pragma once

#include <filesystem>
#include <map>
#include <vector>

#include "common/file_lookup.h"

namespace tsumugi::media {

// A file named as a track that cannot be one: a folder, FIFO or device, a
// link that leads nowhere or outside the game folder.
struct PassedOverTrack {
  int track = 0;
  std::filesystem::path path;
  FileProblem problem = FileProblem::kNone;
};

struct CdTrackFiles {
  // Track number to file; tracks without a file are missing.
  std::map<int, std::filesystem::path> files;
  int count = 0;
  // By track number, then path.
  std::vector<PassedOverTrack> passed_over;
};

CdTrackFiles FindCdTracks(const std::filesystem::path& game_folder);

}  // namespace tsumugi::media
