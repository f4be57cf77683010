#include "platform/media/ffmpeg_input.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavutil/log.h>
}

#include "platform/media/ffmpeg_library.h"

namespace tsumugi::media {

namespace {

// Containers of WAV (and the 64-bit Wave64), MP3, AVI, MPEG-1 system and
// elementary streams, and the CD-track formats FLAC and Ogg.
constexpr const char* kFormats = "wav,w64,mp3,avi,mpeg,mpegvideo,ogg,flac,aiff";

bool AllowedCodec(AVCodecID id) {
  // Every plain PCM coding.
  if (id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT) return true;
  static constexpr std::array kAllowed = {
      // The compressed wave codecs of the era's sound drivers.
      AV_CODEC_ID_ADPCM_MS, AV_CODEC_ID_ADPCM_IMA_WAV, AV_CODEC_ID_ADPCM_YAMAHA,
      AV_CODEC_ID_GSM_MS, AV_CODEC_ID_TRUESPEECH,
      // MPEG audio, FLAC and Vorbis (MP3 files, video sound, CD tracks).
      AV_CODEC_ID_MP1, AV_CODEC_ID_MP2, AV_CODEC_ID_MP3, AV_CODEC_ID_FLAC, AV_CODEC_ID_VORBIS,
      // Video for Windows codecs and MPEG-1.
      AV_CODEC_ID_CINEPAK, AV_CODEC_ID_MSVIDEO1, AV_CODEC_ID_MSRLE, AV_CODEC_ID_INDEO2,
      AV_CODEC_ID_INDEO3, AV_CODEC_ID_INDEO4, AV_CODEC_ID_INDEO5, AV_CODEC_ID_RAWVIDEO,
      AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MJPEG};
  return std::find(kAllowed.begin(), kAllowed.end(), id) != kAllowed.end();
}

void QuietLibraries() {
  // Damaged files make the decoders talk on standard error at length; the
  // engine says once what it could not play instead.
  static const bool once = [] {
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }();
  (void)once;
}

// A stream whose decoder keeps failing this often in a row is treated as
// ended rather than tried for ever.
constexpr int kMaxErrorsInARow = 1000;

}  // namespace

bool DecodeFrame(DecodingStream& s, AVPacket* packet, AVFrame* frame) {
  AVCodecContext* codec = s.codec.get();
  int errors = 0;
  while (codec && !s.drained) {
    int rc = avcodec_receive_frame(codec, frame);
    if (rc == 0) return true;
    if (rc == AVERROR_EOF || (rc == AVERROR(EAGAIN) && s.input_ended)) {
      s.drained = true;
      break;
    }
    if (rc != AVERROR(EAGAIN)) {
      if (++errors > kMaxErrorsInARow) s.drained = true;
      continue;
    }
    rc = av_read_frame(s.format.get(), packet);
    if (rc < 0) {
      s.input_ended = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    if (packet->stream_index == s.index && avcodec_send_packet(codec, packet) < 0 &&
        ++errors > kMaxErrorsInARow) {
      s.drained = true;
    }
    av_packet_unref(packet);
  }
  return false;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool OpenStream(const std::filesystem::path& path, AVMediaType type, DecodingStream* out,
                std::string* error) {
  if (!LoadFfmpeg(error)) return false;
  QuietLibraries();
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  av_dict_set(&options, "format_whitelist", kFormats, 0);
  AVFormatContext* raw = nullptr;
  const std::string name = "file:" + path.string();
  int rc = avformat_open_input(&raw, name.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (rc < 0) {
    *error = rc == AVERROR_INVALIDDATA ? "not a sound or video file the engine knows"
                                       : ErrorText(rc);
    return false;
  }
  FormatPtr format(raw);
  rc = avformat_find_stream_info(format.get(), nullptr);
  if (rc < 0) {
    *error = ErrorText(rc);
    return false;
  }
  const int index = av_find_best_stream(format.get(), type, -1, -1, nullptr, 0);
  if (index < 0) {
    *error = type == AVMEDIA_TYPE_AUDIO ? "no sound in the file" : "no pictures in the file";
    return false;
  }
  const AVCodecParameters* par = format->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  if (!codec || !AllowedCodec(par->codec_id)) {
    *error = std::string("unsupported coding ") + avcodec_get_name(par->codec_id);
    return false;
  }
  if (type == AVMEDIA_TYPE_AUDIO &&
      (par->sample_rate < 1000 || par->sample_rate > 384000 || par->ch_layout.nb_channels < 1 ||
       par->ch_layout.nb_channels > 8)) {
    *error = "unusable sample rate or channel count";
    return false;
  }
  if (type == AVMEDIA_TYPE_VIDEO &&
      (par->width <= 0 || par->height <= 0 || par->width > kMaxVideoDimension ||
       par->height > kMaxVideoDimension)) {
    *error = "picture size " + std::to_string(par->width) + "x" + std::to_string(par->height) +
             " out of range";
    return false;
  }
  CodecPtr context(avcodec_alloc_context3(codec));
  if (!context) {
    *error = "out of memory";
    return false;
  }
  rc = avcodec_parameters_to_context(context.get(), par);
  if (rc >= 0) {
    // One thread: decoding stays on the engine's thread and repeats exactly.
    context->thread_count = 1;
    context->pkt_timebase = format->streams[index]->time_base;
    rc = avcodec_open2(context.get(), codec, nullptr);
  }
  if (rc < 0) {
    *error = ErrorText(rc);
    return false;
  }
  // Packets of the other streams are not even read into memory.
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  out->format = std::move(format);
  out->codec = std::move(context);
  out->index = index;
  return true;
}

}  // namespace tsumugi::media
