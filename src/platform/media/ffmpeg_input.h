// Opening a media file with FFmpeg, kept to what old games ship: only local
// files, only the container formats and codecs of WAV, MP3, AVI, MPEG-1 and
// CD-track files, one decoding thread, and pictures and sample rates within
// sane bounds. Everything else is refused with a reason.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tsumugi::media {

// The mix runs at this rate, stereo, 16 bits.
inline constexpr int kSampleRate = 44100;
// Video pictures larger than this in either direction are refused.
inline constexpr int kMaxVideoDimension = 4096;

struct FormatCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

// One stream of a file, opened for decoding.
struct DecodingStream {
  FormatPtr format;
  CodecPtr codec;
  int index = -1;
  // The file has been read to its end; the decoder has given its last frame.
  bool input_ended = false;
  bool drained = false;
};

// Opens `path` and the best stream of `type` in it (audio or video), with
// a decoder for it. False with a reason in *error when the file cannot be
// read, has no such stream, or uses a format or codec outside the list.
[[nodiscard]] bool OpenStream(const std::filesystem::path& path, AVMediaType type,
                              DecodingStream* out, std::string* error);

// Decodes the next frame of the stream into `frame`, reading packets as
// needed and passing damaged ones over. False once the decoder is drained
// (or has failed too often in a row to go on).
[[nodiscard]] bool DecodeFrame(DecodingStream& stream, AVPacket* packet, AVFrame* frame);

// FFmpeg's text for an error code.
std::string ErrorText(int code);

}  // namespace tsumugi::media
