// FFmpeg, loaded the first time a media file is opened.
#pragma once

#include <string>

namespace tsumugi::media {

// Loads FFmpeg's libraries if that has not been tried yet. False, with the
// reason in *error, when one of them or one of its functions is missing;
// media files then cannot be played, and the engine says so for each.
[[nodiscard]] bool LoadFfmpeg(std::string* error);

}  // namespace tsumugi::media
