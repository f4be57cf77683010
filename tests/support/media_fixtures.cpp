#include "support/media_fixtures.h"

#include <unistd.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace tsumugi::test {

namespace {

void Le(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Be(std::string& s, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Varlen(std::string& s, uint32_t v) {
  std::string out(1, static_cast<char>(v & 0x7F));
  while (v >>= 7) out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
  s += out;
}

int16_t Tone(int64_t i, int rate, int frequency, int amplitude) {
  return static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)));
}

struct Encoder {
  AVFormatContext* format = nullptr;
  ~Encoder() {
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }
};

struct Stream {
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  ~Stream() { avcodec_free_context(&codec); }
};

// Sends one frame (null: the end) and writes what the encoder gives back.
bool Encode(AVFormatContext* format, Stream& s, AVFrame* frame) {
  if (avcodec_send_frame(s.codec, frame) < 0) return false;
  AVPacket* packet = av_packet_alloc();
  int rc;
  while ((rc = avcodec_receive_packet(s.codec, packet)) == 0) {
    av_packet_rescale_ts(packet, s.codec->time_base, s.stream->time_base);
    packet->stream_index = s.stream->index;
    av_interleaved_write_frame(format, packet);
  }
  av_packet_free(&packet);
  return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
}

bool AddStream(AVFormatContext* format, const char* encoder, Stream& s, std::string* error,
               void (*setup)(AVCodecContext*, const void*), const void* arg) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (!codec) {
    *error = std::string("no encoder ") + encoder;
    return false;
  }
  s.codec = avcodec_alloc_context3(codec);
  setup(s.codec, arg);
  if (format->oformat->flags & AVFMT_GLOBALHEADER) s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(s.codec, codec, nullptr) < 0) {
    *error = std::string("cannot open encoder ") + encoder;
    return false;
  }
  s.stream = avformat_new_stream(format, nullptr);
  s.stream->time_base = s.codec->time_base;
  avcodec_parameters_from_context(s.stream->codecpar, s.codec);
  return true;
}

bool Open(Encoder& e, const std::string& muxer, const std::filesystem::path& path,
          std::string* error) {
  if (avformat_alloc_output_context2(&e.format, nullptr, muxer.c_str(), path.c_str()) < 0) {
    *error = "no muxer " + muxer;
    return false;
  }
  return true;
}

bool Start(Encoder& e, const std::filesystem::path& path, std::string* error) {
  if (avio_open(&e.format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(e.format, nullptr) < 0) {
    *error = "cannot write " + path.string();
    return false;
  }
  return true;
}

// Encodes `frames` samples of a mono tone through a sound encoder.
bool EncodeTone(AVFormatContext* format, Stream& s, int64_t samples, int frequency) {
  AVFrame* frame = av_frame_alloc();
  const int chunk = s.codec->frame_size > 0 ? s.codec->frame_size : 1024;
  bool ok = true;
  for (int64_t at = 0; at < samples && ok; at += chunk) {
    frame->nb_samples = static_cast<int>(std::min<int64_t>(chunk, samples - at));
    frame->format = s.codec->sample_fmt;
    av_channel_layout_copy(&frame->ch_layout, &s.codec->ch_layout);
    frame->sample_rate = s.codec->sample_rate;
    av_frame_get_buffer(frame, 0);
    for (int i = 0; i < frame->nb_samples; ++i) {
      const int16_t v = Tone(at + i, s.codec->sample_rate, frequency, 8000);
      if (s.codec->sample_fmt == AV_SAMPLE_FMT_S16 || s.codec->sample_fmt == AV_SAMPLE_FMT_S16P) {
        reinterpret_cast<int16_t*>(frame->data[0])[i] = v;
      } else {
        reinterpret_cast<float*>(frame->data[0])[i] = v / 32768.0f;
      }
    }
    frame->pts = at;
    ok = Encode(format, s, frame);
    av_frame_unref(frame);
  }
  av_frame_free(&frame);
  return ok && Encode(format, s, nullptr);
}

void SetUpSound(AVCodecContext* c, const void* rate) {
  c->sample_rate = *static_cast<const int*>(rate);
  av_channel_layout_default(&c->ch_layout, 1);
  c->sample_fmt = c->codec->sample_fmts ? c->codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
  c->time_base = {1, c->sample_rate};
  c->bit_rate = 64000;
}

void SetUpVideo(AVCodecContext* c, const void* params_arg) {
  const auto* params = static_cast<const VideoParams*>(params_arg);
  c->width = params->width;
  c->height = params->height;
  c->time_base = {1, params->fps};
  c->pix_fmt = c->codec->pix_fmts ? c->codec->pix_fmts[0] : AV_PIX_FMT_BGR24;
  c->gop_size = 10;
  c->thread_count = 1;
}

}  // namespace

std::string MakeWav(int milliseconds, int rate, int channels, int frequency, int amplitude) {
  return MakeWavFrames(int64_t{milliseconds} * rate / 1000, rate, channels, frequency, amplitude);
}

std::string MakeWavFrames(int64_t frames, int rate, int channels, int frequency, int amplitude) {
  std::string data;
  for (int64_t i = 0; i < frames; ++i) {
    const int16_t v = Tone(i, rate, frequency, amplitude);
    for (int c = 0; c < channels; ++c) Le(data, static_cast<uint16_t>(v), 2);
  }
  std::string out = "RIFF";
  Le(out, static_cast<uint32_t>(36 + data.size()), 4);
  out += "WAVEfmt ";
  Le(out, 16, 4);
  Le(out, 1, 2);
  Le(out, static_cast<uint32_t>(channels), 2);
  Le(out, static_cast<uint32_t>(rate), 4);
  Le(out, static_cast<uint32_t>(rate * channels * 2), 4);
  Le(out, static_cast<uint32_t>(channels * 2), 2);
  Le(out, 16, 2);
  out += "data";
  Le(out, static_cast<uint32_t>(data.size()), 4);
  return out + data;
}

std::string MakeMidi(const std::vector<MidiTrack>& tracks, int format) {
  std::string out = "MThd";
  Be(out, 6, 4);
  Be(out, static_cast<uint32_t>(format), 2);
  Be(out, static_cast<uint32_t>(tracks.size()), 2);
  Be(out, 480, 2);
  for (const MidiTrack& track : tracks) {
    std::string body;
    for (const auto& [delta, bytes] : track) {
      Varlen(body, delta);
      if (bytes.size() > 1 && (bytes[0] == 0xF0)) {
        body += static_cast<char>(0xF0);
        Varlen(body, static_cast<uint32_t>(bytes.size() - 1));
        body.append(bytes.begin() + 1, bytes.end());
      } else if (bytes.size() > 1 && bytes[0] == 0xFF) {
        body += static_cast<char>(0xFF);
        body += static_cast<char>(bytes[1]);
        Varlen(body, static_cast<uint32_t>(bytes.size() - 2));
        body.append(bytes.begin() + 2, bytes.end());
      } else {
        body.append(bytes.begin(), bytes.end());
      }
    }
    body += std::string("\x00\xFF\x2F\x00", 4);
    out += "MTrk";
    Be(out, static_cast<uint32_t>(body.size()), 4);
    out += body;
  }
  return out;
}

std::string MakeMidiNote(int milliseconds) {
  const auto ticks = static_cast<uint32_t>(milliseconds * 960 / 1000);
  return MakeMidi({{{0, {0xC0, 0}}, {0, {0x90, 60, 100}}, {ticks, {0x80, 60, 0}}}});
}

std::string MakeMp3(int milliseconds, int frequency) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("tsumugi-mp3-" + std::to_string(::getpid()) + ".mp3");
  std::string error;
  {
    Encoder e;
    Stream s;
    const int rate = 44100;
    if (!Open(e, "mp3", path, &error) ||
        !AddStream(e.format, "libmp3lame", s, &error, SetUpSound, &rate) || !Start(e, path, &error) ||
        !EncodeTone(e.format, s, int64_t{milliseconds} * rate / 1000, frequency)) {
      return "";
    }
    av_write_trailer(e.format);
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::filesystem::remove(path);
  return bytes.str();
}

bool WriteVideo(const std::filesystem::path& path, const VideoParams& params, std::string* error) {
  av_log_set_level(AV_LOG_ERROR);
  Encoder e;
  Stream video, sound;
  const int rate = 22050;
  if (!Open(e, "avi", path, error) ||
      !AddStream(e.format, params.codec.c_str(), video, error, SetUpVideo, &params) ||
      (params.sound && !AddStream(e.format, "pcm_s16le", sound, error, SetUpSound, &rate)) ||
      !Start(e, path, error)) {
    return false;
  }
  SwsContext* convert = sws_getContext(params.width, params.height, AV_PIX_FMT_RGB24, params.width,
                                       params.height, video.codec->pix_fmt, SWS_POINT, nullptr,
                                       nullptr, nullptr);
  std::vector<uint8_t> rgb(static_cast<size_t>(params.width) * params.height * 3);
  AVFrame* frame = av_frame_alloc();
  frame->format = video.codec->pix_fmt;
  frame->width = params.width;
  frame->height = params.height;
  av_frame_get_buffer(frame, 0);
  bool ok = true;
  for (int i = 0; i < params.frames && ok; ++i) {
    const uint32_t colour = params.colours[static_cast<size_t>(i) % params.colours.size()];
    for (int y = 0; y < params.height; ++y) {
      for (int x = 0; x < params.width; ++x) {
        const bool corner = x < params.width / 8 && y < params.height / 8;
        uint8_t* p = &rgb[(static_cast<size_t>(y) * params.width + x) * 3];
        if (params.busy) {
          const int wave = static_cast<int>(40 * std::sin((x + 6 * i) / 23.0) * std::cos((y - 4 * i) / 17.0));
          p[0] = static_cast<uint8_t>(x * 255 / params.width + wave);
          p[1] = static_cast<uint8_t>(y * 255 / params.height - wave);
          p[2] = static_cast<uint8_t>(((x ^ y) + 8 * i) & 0xFF);
          continue;
        }
        p[0] = corner ? 255 : static_cast<uint8_t>(colour >> 16);
        p[1] = corner ? 255 : static_cast<uint8_t>(colour >> 8);
        p[2] = corner ? 255 : static_cast<uint8_t>(colour);
      }
    }
    av_frame_make_writable(frame);
    const uint8_t* src[1] = {rgb.data()};
    const int stride[1] = {params.width * 3};
    sws_scale(convert, src, stride, 0, params.height, frame->data, frame->linesize);
    frame->pts = i;
    ok = Encode(e.format, video, frame);
  }
  av_frame_free(&frame);
  sws_freeContext(convert);
  ok = ok && Encode(e.format, video, nullptr);
  if (ok && params.sound) ok = EncodeTone(e.format, sound, int64_t{params.frames} * rate / params.fps, 440);
  if (!ok || av_write_trailer(e.format) < 0) {
    *error = "cannot encode " + path.string();
    return false;
  }
  return true;
}

bool MakeFixture(const std::filesystem::path& folder, const std::string& line, std::string* error) {
  std::istringstream in(line);
  std::string path, kind;
  in >> path >> kind;
  const std::filesystem::path file = folder / path;
  std::filesystem::create_directories(file.parent_path());
  auto write = [&](const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
    return !bytes.empty();
  };
  int ms = 0;
  if (kind == "wav") {
    int rate = 22050;
    in >> ms >> rate;
    return write(MakeWav(ms, rate));
  }
  if (kind == "mp3") {
    in >> ms;
    return write(MakeMp3(ms)) || (*error = "no MP3 encoder", false);
  }
  if (kind == "midi") {
    in >> ms;
    return write(MakeMidiNote(ms));
  }
  if (kind == "avi") {
    VideoParams params;
    std::string size, sound;
    char x;
    in >> size >> ms >> params.codec >> sound;
    std::istringstream(size) >> params.width >> x >> params.height;
    params.frames = ms * params.fps / 1000;
    params.sound = sound == "sound";
    return WriteVideo(file, params, error);
  }
  *error = "unknown fixture kind '" + kind + "'";
  return false;
}

}  // namespace tsumugi::test
