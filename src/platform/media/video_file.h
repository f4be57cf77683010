// The pictures of a video file (AVI with Cinepak, Microsoft Video 1,
// Microsoft RLE, Indeo or uncompressed frames; MPEG-1), decoded with FFmpeg
// one picture ahead, each with its time from the start of the video, and
// drawn stretched into a surface.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/media/ffmpeg_input.h"

struct SwsContext;

namespace tsumugi::media {

class VideoFile {
 public:
  static std::unique_ptr<VideoFile> Open(const std::filesystem::path& path, std::string* error);
  // Microseconds from the start to the end of the last picture as the
  // file's packets tell it, read without decoding a picture; nothing when
  // the file has no pictures that can be read.
  [[nodiscard]] static std::optional<int64_t> ScanLength(const std::filesystem::path& path);
  ~VideoFile();
  VideoFile(const VideoFile&) = delete;
  VideoFile& operator=(const VideoFile&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Microseconds from the start of the video to the next picture not yet
  // drawn; nothing once every picture has been drawn.
  std::optional<int64_t> NextPictureTime() const;
  // Microseconds from the start to the end of the last picture. Known once
  // the last picture has been read, which is before it is drawn.
  std::optional<int64_t> EndTime() const;

  // Draws the latest picture due at `time` (microseconds from the start)
  // into `target`, stretched to fill it, passing over earlier ones. True
  // when a picture was drawn.
  bool DrawUntil(int64_t time, gdi::Surface* target);
  // Decodes up to `time` like DrawUntil but only holds the latest due
  // picture: true when there is a new one. Each picture fills the whole
  // target, so one that is passed over before anyone looks need never be
  // converted and drawn.
  bool DecodeUntil(int64_t time);
  // The latest time DecodeUntil was asked for since the start: decoding up
  // to it again after opening the file puts the video back where it is.
  std::optional<int64_t> DecodedUntil() const { return decoded_until_; }
  // Draws the held picture, if there is one still undrawn, and lets it go.
  void DrawHeld(gdi::Surface* target);
  // Draws the next picture now, whatever its time (for benchmarks).
  bool DrawNext(gdi::Surface* target);

  // Back to the first picture. False when the file cannot be read again.
  [[nodiscard]] bool Rewind();

 private:
  VideoFile() = default;
  [[nodiscard]] bool Start(std::string* error);
  // Opens the file and sets up the clock of its pictures.
  [[nodiscard]] bool OpenFile(std::string* error);
  // Decodes the picture after the one held; at the end of the file the
  // end time becomes known.
  void DecodeAhead();
  // Gives the next picture its time, from its timestamp and length in
  // ticks of the stream (AV_NOPTS_VALUE and 0 when unknown).
  void PlacePicture(int64_t timestamp, int64_t duration);
  void Draw(const AVFrame* picture, gdi::Surface* target);
  // Converts a picture to surface pixels at its own size.
  void Convert(const AVFrame* picture, gdi::Surface* out);

  std::filesystem::path path_;
  DecodingStream stream_;
  PacketPtr packet_;
  // The picture decoded ahead, and a due one put aside while the next is
  // decoded.
  FramePtr frame_;
  FramePtr held_;
  SwsContext* scaler_ = nullptr;
  // A picture at its own size before it is stretched, and the source column
  // of each target column.
  gdi::Surface picture_;
  std::vector<int> columns_;
  int width_ = 0;
  int height_ = 0;
  // The time base of the stream in microseconds per tick, and the length of
  // one picture when the file does not say.
  double tick_us_ = 0;
  int64_t default_duration_us_ = 0;

  // The decoded picture that is next to draw, if any, and its time.
  bool have_picture_ = false;
  int64_t picture_time_ = 0;
  std::optional<int64_t> first_timestamp_;
  int64_t last_end_ = 0;
  std::optional<int64_t> decoded_until_;
};

}  // namespace tsumugi::media
