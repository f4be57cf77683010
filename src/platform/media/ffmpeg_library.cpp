// FFmpeg is opened the first time a sound or video file is, not when the
// program starts. Its libraries link about a hundred others (codecs, image
// and subtitle libraries, hardware decoders); a window or a headless run
// that plays no media never maps any of them, which saves most of the start-
// up time and memory.
//
// The engine calls FFmpeg's functions by their own names; each one the
// engine uses is defined here and forwards to the loaded library, so the
// decoding code reads as plain FFmpeg. The program is not linked with
// FFmpeg, so these definitions are the only ones it sees.
#include "platform/media/ffmpeg_library.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/diagnostics.h"
#include "platform/lazy/lazy_library.h"

// Every function the engine calls, library by library, in the order they
// are loaded (each after the ones it needs): X(kind, return type, name,
// (parameters), (arguments)). Releases let go of what FFmpeg made;
// destructors call them whether or not anything was made, and when FFmpeg
// cannot be loaded nothing can have been, so they then do nothing.
#define TSUMUGI_AVUTIL(X)                                                                       \
  X(Call, int, av_channel_layout_compare, (const AVChannelLayout* a, const AVChannelLayout* b), \
    (a, b))                                                                                     \
  X(Call, int, av_channel_layout_copy, (AVChannelLayout * to, const AVChannelLayout* from),     \
    (to, from))                                                                                 \
  X(Call, void, av_channel_layout_default, (AVChannelLayout * layout, int channels),            \
    (layout, channels))                                                                         \
  X(Call, int, av_dict_set, (AVDictionary * *dict, const char* key, const char* value, int f),  \
    (dict, key, value, f))                                                                      \
  X(Call, AVFrame*, av_frame_alloc, (), ())                                                     \
  X(Call, void, av_log_set_level, (int level), (level))                                         \
  X(Call, int, av_strerror, (int code, char* text, size_t size), (code, text, size))            \
  X(Release, void, av_channel_layout_uninit, (AVChannelLayout * layout), (layout))              \
  X(Release, void, av_dict_free, (AVDictionary * *dict), (dict))                                \
  X(Release, void, av_frame_free, (AVFrame * *frame), (frame))                                  \
  X(Release, void, av_frame_unref, (AVFrame * frame), (frame))
#define TSUMUGI_SWRESAMPLE(X)                                                                   \
  X(Call, int, swr_alloc_set_opts2,                                                             \
    (SwrContext * *s, AVChannelLayout * out_layout, AVSampleFormat out_format, int out_rate,    \
     AVChannelLayout * in_layout, AVSampleFormat in_format, int in_rate, int log_offset,        \
     void* log),                                                                                \
    (s, out_layout, out_format, out_rate, in_layout, in_format, in_rate, log_offset, log))      \
  X(Call, int, swr_convert,                                                                     \
    (SwrContext * s, uint8_t * *out, int out_count, const uint8_t** in, int in_count),          \
    (s, out, out_count, in, in_count))                                                          \
  X(Call, int, swr_get_out_samples, (SwrContext * s, int in), (s, in))                          \
  X(Call, int, swr_init, (SwrContext * s), (s))                                                 \
  X(Release, void, swr_free, (SwrContext * *s), (s))
#define TSUMUGI_SWSCALE(X)                                                                      \
  X(Call, SwsContext*, sws_getCachedContext,                                                    \
    (SwsContext * c, int w, int h, AVPixelFormat format, int to_w, int to_h,                    \
     AVPixelFormat to_format, int flags, SwsFilter* filter, SwsFilter* to_filter,               \
     const double* param),                                                                      \
    (c, w, h, format, to_w, to_h, to_format, flags, filter, to_filter, param))                  \
  X(Call, int, sws_scale,                                                                       \
    (SwsContext * c, const uint8_t* const src[], const int src_stride[], int y, int h,         \
     uint8_t* const dst[], const int dst_stride[]),                                             \
    (c, src, src_stride, y, h, dst, dst_stride))                                                \
  X(Release, void, sws_freeContext, (SwsContext * c), (c))
#define TSUMUGI_AVCODEC(X)                                                                      \
  X(Call, AVPacket*, av_packet_alloc, (), ())                                                   \
  X(Call, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))             \
  X(Call, const AVCodec*, avcodec_find_decoder, (AVCodecID id), (id))                           \
  X(Call, const char*, avcodec_get_name, (AVCodecID id), (id))                                  \
  X(Call, int, avcodec_open2, (AVCodecContext * c, const AVCodec* codec, AVDictionary** o),     \
    (c, codec, o))                                                                              \
  X(Call, int, avcodec_parameters_to_context, (AVCodecContext * c, const AVCodecParameters* p), \
    (c, p))                                                                                     \
  X(Call, int, avcodec_receive_frame, (AVCodecContext * c, AVFrame* frame), (c, frame))        \
  X(Call, int, avcodec_send_packet, (AVCodecContext * c, const AVPacket* packet), (c, packet)) \
  X(Release, void, av_packet_free, (AVPacket * *packet), (packet))                              \
  X(Release, void, av_packet_unref, (AVPacket * packet), (packet))                              \
  X(Release, void, avcodec_free_context, (AVCodecContext * *c), (c))
#define TSUMUGI_AVFORMAT(X)                                                                     \
  X(Call, int, av_find_best_stream,                                                             \
    (AVFormatContext * f, AVMediaType type, int wanted, int related, const AVCodec** decoder,   \
     int flags),                                                                                \
    (f, type, wanted, related, decoder, flags))                                                 \
  X(Call, int, av_read_frame, (AVFormatContext * f, AVPacket* packet), (f, packet))             \
  X(Call, int, avformat_find_stream_info, (AVFormatContext * f, AVDictionary** o), (f, o))      \
  X(Call, int, avformat_open_input,                                                             \
    (AVFormatContext * *f, const char* url, const AVInputFormat* format, AVDictionary** o),     \
    (f, url, format, o))                                                                        \
  X(Release, void, avformat_close_input, (AVFormatContext * *f), (f))

namespace tsumugi::media {

namespace {

#define TSUMUGI_NAME_OF(kind, type, name, parameters, arguments) #name,
#define TSUMUGI_LIBRARY(Name, stem, major, LIST)                                           \
  LazyLibrary& Name() {                                                                    \
    static LazyLibrary library({"lib" stem ".so." AV_STRINGIFY(major)},                    \
                               {LIST(TSUMUGI_NAME_OF)});                                   \
    return library;                                                                        \
  }
TSUMUGI_LIBRARY(AvUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, TSUMUGI_AVUTIL)
TSUMUGI_LIBRARY(SwResample, "swresample", LIBSWRESAMPLE_VERSION_MAJOR, TSUMUGI_SWRESAMPLE)
TSUMUGI_LIBRARY(SwScale, "swscale", LIBSWSCALE_VERSION_MAJOR, TSUMUGI_SWSCALE)
TSUMUGI_LIBRARY(AvCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, TSUMUGI_AVCODEC)
TSUMUGI_LIBRARY(AvFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR, TSUMUGI_AVFORMAT)

// The address of `name` in `library`, loading FFmpeg if no one has yet.
// The media files load it before their first call and give up cleanly
// when that fails, so a failure here is a fault in the engine.
template <typename Function>
Function Resolve(LazyLibrary& library, const char* name) {
  std::string why;
  if (!LoadFfmpeg(&why)) {
    Complain(std::string(name) + ": " + why);
    std::abort();
  }
  return reinterpret_cast<Function>(library.Function(name));
}

}  // namespace

bool LoadFfmpeg(std::string* error) {
  // Loaded once, whichever thread asks first.
  static const std::string failure = [] {
    for (LazyLibrary* library : {&AvUtil(), &SwResample(), &SwScale(), &AvCodec(), &AvFormat()}) {
      if (!library->Load()) return "FFmpeg cannot be used: " + library->Error();
    }
    return std::string();
  }();
  if (!failure.empty() && error) *error = failure;
  return failure.empty();
}

}  // namespace tsumugi::media

// The definitions, one per function: a call loads nothing and goes straight
// to the library's function, found once.
#define TSUMUGI_RESOLVED(library, name)                                                    \
  static const auto function =                                                             \
      ::tsumugi::media::Resolve<decltype(&name)>(::tsumugi::media::library(), #name)
#define TSUMUGI_FORWARD_Call(library, type, name, parameters, arguments)                   \
  extern "C" type name parameters {                                                        \
    TSUMUGI_RESOLVED(library, name);                                                       \
    return function arguments;                                                             \
  }
#define TSUMUGI_FORWARD_Release(library, type, name, parameters, arguments)                \
  extern "C" type name parameters {                                                        \
    if (!::tsumugi::media::LoadFfmpeg(nullptr)) return;                                    \
    TSUMUGI_RESOLVED(library, name);                                                       \
    function arguments;                                                                    \
  }
#define TSUMUGI_FORWARD_AvUtil(kind, ...) TSUMUGI_FORWARD_##kind(AvUtil, __VA_ARGS__)
#define TSUMUGI_FORWARD_SwResample(kind, ...) TSUMUGI_FORWARD_##kind(SwResample, __VA_ARGS__)
#define TSUMUGI_FORWARD_SwScale(kind, ...) TSUMUGI_FORWARD_##kind(SwScale, __VA_ARGS__)
#define TSUMUGI_FORWARD_AvCodec(kind, ...) TSUMUGI_FORWARD_##kind(AvCodec, __VA_ARGS__)
#define TSUMUGI_FORWARD_AvFormat(kind, ...) TSUMUGI_FORWARD_##kind(AvFormat, __VA_ARGS__)

TSUMUGI_AVUTIL(TSUMUGI_FORWARD_AvUtil)
TSUMUGI_SWRESAMPLE(TSUMUGI_FORWARD_SwResample)
TSUMUGI_SWSCALE(TSUMUGI_FORWARD_SwScale)
TSUMUGI_AVCODEC(TSUMUGI_FORWARD_AvCodec)
TSUMUGI_AVFORMAT(TSUMUGI_FORWARD_AvFormat)
