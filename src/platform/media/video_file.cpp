#include "platform/media/video_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace tsumugi::media {

namespace {
// A damaged file may give a picture a time far beyond the one before. Gaps
// and picture lengths are cut to this, so that the length of a video stays
// within reach of its number of pictures.
constexpr int64_t kMaxGapUs = 60'000'000;
}  // namespace

std::unique_ptr<VideoFile> VideoFile::Open(const std::filesystem::path& path,
                                           std::string* error) {
  std::unique_ptr<VideoFile> file(new VideoFile());
  file->path_ = path;
  if (!file->Start(error)) return nullptr;
  return file;
}

VideoFile::~VideoFile() { sws_freeContext(scaler_); }

std::optional<int64_t> VideoFile::ScanLength(const std::filesystem::path& path) {
  VideoFile scan;
  scan.path_ = path;
  std::string error;
  if (!scan.OpenFile(&error) || !scan.packet_) return std::nullopt;
  AVPacket* packet = scan.packet_.get();
  bool any = false;
  while (av_read_frame(scan.stream_.format.get(), packet) >= 0) {
    if (packet->stream_index == scan.stream_.index && packet->size > 0) {
      scan.PlacePicture(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts, packet->duration);
      any = true;
    }
    av_packet_unref(packet);
  }
  if (!any) return std::nullopt;
  return scan.last_end_;
}

bool VideoFile::Start(std::string* error) {
  if (!OpenFile(error)) return false;
  DecodeAhead();
  return true;
}

bool VideoFile::OpenFile(std::string* error) {
  stream_ = DecodingStream();
  if (!OpenStream(path_, AVMEDIA_TYPE_VIDEO, &stream_, error)) return false;
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  held_.reset(av_frame_alloc());
  if (!packet_ || !frame_ || !held_) {
    *error = "out of memory";
    return false;
  }
  const AVStream* s = stream_.format->streams[stream_.index];
  width_ = s->codecpar->width;
  height_ = s->codecpar->height;
  tick_us_ = s->time_base.den > 0 && s->time_base.num > 0 ? 1e6 * av_q2d(s->time_base) : 0;
  AVRational rate = s->avg_frame_rate.num > 0 ? s->avg_frame_rate : s->r_frame_rate;
  default_duration_us_ = 66'667;  // 15 pictures a second when nothing says
  if (rate.num > 0 && rate.den > 0) {
    const double us = 1e6 / av_q2d(rate);
    if (us >= 1000 && us <= 10e6) default_duration_us_ = static_cast<int64_t>(std::llround(us));
  }
  first_timestamp_.reset();
  picture_time_ = 0;
  last_end_ = 0;
  decoded_until_.reset();
  return true;
}

bool VideoFile::Rewind() {
  av_frame_unref(held_.get());
  std::string error;
  if (Start(&error)) return true;
  have_picture_ = false;
  stream_.drained = true;
  return false;
}

std::optional<int64_t> VideoFile::NextPictureTime() const {
  if (!have_picture_) return std::nullopt;
  return picture_time_;
}

std::optional<int64_t> VideoFile::EndTime() const {
  if (!stream_.drained) return std::nullopt;
  return last_end_;
}

void VideoFile::DecodeAhead() {
  have_picture_ = false;
  AVFrame* f = frame_.get();
  while (DecodeFrame(stream_, packet_.get(), f)) {
    if (f->width <= 0 || f->height <= 0 || f->width > kMaxVideoDimension ||
        f->height > kMaxVideoDimension) {
      av_frame_unref(f);
      continue;
    }
    PlacePicture(f->best_effort_timestamp, f->pkt_duration);
    have_picture_ = true;
    return;
  }
}

void VideoFile::PlacePicture(int64_t ts, int64_t ticks) {
  // Times count from the first picture. A missing or backward time puts
  // the picture right after the one before.
  int64_t time = last_end_;
  if (ts != AV_NOPTS_VALUE && tick_us_ > 0) {
    if (!first_timestamp_) first_timestamp_ = ts;
    const double t = (static_cast<double>(ts) - static_cast<double>(*first_timestamp_)) * tick_us_;
    if (t >= static_cast<double>(picture_time_) && t <= static_cast<double>(last_end_ + kMaxGapUs)) {
      time = static_cast<int64_t>(t);
    } else if (t > static_cast<double>(last_end_ + kMaxGapUs)) {
      time = last_end_ + kMaxGapUs;
    }
  }
  int64_t duration = default_duration_us_;
  if (ticks > 0 && tick_us_ > 0) {
    duration = static_cast<int64_t>(
        std::min(static_cast<double>(ticks) * tick_us_, static_cast<double>(kMaxGapUs)));
  }
  picture_time_ = time;
  last_end_ = std::max(last_end_, time + duration);
}

void VideoFile::Convert(const AVFrame* f, gdi::Surface* out) {
  scaler_ = sws_getCachedContext(scaler_, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                 f->width, f->height, AV_PIX_FMT_BGR0, SWS_POINT, nullptr, nullptr,
                                 nullptr);
  if (!scaler_) return;
  uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(out->Data()), nullptr, nullptr, nullptr};
  int dst_stride[4] = {out->Stride() * 4, 0, 0, 0};
  sws_scale(scaler_, f->data, f->linesize, 0, f->height, dst, dst_stride);
}

void VideoFile::Draw(const AVFrame* f, gdi::Surface* target) {
  const int w = target->Width();
  const int h = target->Height();
  if (w <= 0 || h <= 0) return;
  if (w == f->width && h == f->height) {
    Convert(f, target);
    // Stored pixels keep their top byte clear; the converter leaves it
    // undefined.
    uint32_t* p = target->Data();
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < n; ++i) p[i] &= 0x00FFFFFFu;
    return;
  }
  // Other sizes: the picture is converted at its own size, then stretched
  // by repeating pixels, as the players of the time did it.
  if (picture_.Width() != f->width || picture_.Height() != f->height) {
    picture_ = gdi::Surface(f->width, f->height);
  }
  Convert(f, &picture_);
  columns_.resize(static_cast<size_t>(w));
  for (int x = 0; x < w; ++x) {
    columns_[static_cast<size_t>(x)] = static_cast<int>(int64_t{x} * f->width / w);
  }
  int previous = -1;
  for (int y = 0; y < h; ++y) {
    const int source_row = static_cast<int>(int64_t{y} * f->height / h);
    uint32_t* row = target->Row(y);
    if (source_row == previous) {
      std::memcpy(row, target->Row(y - 1), static_cast<size_t>(w) * 4);
      continue;
    }
    const uint32_t* from = picture_.Row(source_row);
    for (int x = 0; x < w; ++x) row[x] = from[columns_[static_cast<size_t>(x)]] & 0x00FFFFFFu;
    previous = source_row;
  }
}

bool VideoFile::DecodeUntil(int64_t time) {
  decoded_until_ = std::max(decoded_until_.value_or(time), time);
  if (!have_picture_ || picture_time_ > time) return false;
  // Of several pictures that are due only the last is kept: each due one
  // is put aside while the next is decoded (and one still held from before
  // is let go).
  for (;;) {
    std::swap(frame_, held_);
    av_frame_unref(frame_.get());
    DecodeAhead();
    if (have_picture_ && picture_time_ <= time) continue;
    return true;
  }
}

void VideoFile::DrawHeld(gdi::Surface* target) {
  if (held_->buf[0] == nullptr) return;
  if (target) Draw(held_.get(), target);
  av_frame_unref(held_.get());
}

bool VideoFile::DrawUntil(int64_t time, gdi::Surface* target) {
  if (!DecodeUntil(time)) return false;
  DrawHeld(target);
  return true;
}

bool VideoFile::DrawNext(gdi::Surface* target) {
  if (!have_picture_) return false;
  return DrawUntil(picture_time_, target);
}

}  // namespace tsumugi::media
