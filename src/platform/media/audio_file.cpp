#include "platform/media/audio_file.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace tsumugi::media {

std::unique_ptr<AudioFile> AudioFile::Open(const std::filesystem::path& path,
                                           std::string* error) {
  std::unique_ptr<AudioFile> file(new AudioFile());
  file->path_ = path;
  if (!file->Start(error)) return nullptr;
  return file;
}

AudioFile::~AudioFile() {
  swr_free(&resampler_);
  av_channel_layout_uninit(&in_layout_);
}

bool AudioFile::Start(std::string* error) {
  swr_free(&resampler_);
  pending_.clear();
  taken_ = 0;
  flushed_ = false;
  position_ = 0;
  stream_ = DecodingStream();
  if (!OpenStream(path_, AVMEDIA_TYPE_AUDIO, &stream_, error)) return false;
  packet_.reset(av_packet_alloc());
  frame_.reset(av_frame_alloc());
  if (!packet_ || !frame_) {
    *error = "out of memory";
    return false;
  }
  return true;
}

bool AudioFile::Rewind() {
  std::string error;
  if (Start(&error)) return true;
  // The file went away or changed under the player: it simply ends.
  flushed_ = true;
  return false;
}

void AudioFile::Convert(const uint8_t* const* data, int count) {
  if (!resampler_) return;
  const int room = swr_get_out_samples(resampler_, count);
  if (room <= 0) return;
  pending_.resize(static_cast<size_t>(room) * 2);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pending_.data())};
  const int got = swr_convert(resampler_, out, room, const_cast<const uint8_t**>(data), count);
  pending_.resize(static_cast<size_t>(std::max(got, 0)) * 2);
}

void AudioFile::Refill() {
  while (taken_ >= pending_.size() && !flushed_) {
    pending_.clear();
    taken_ = 0;
    if (!DecodeFrame(stream_, packet_.get(), frame_.get())) {
      // Drained: what the converter still holds comes out last.
      Convert(nullptr, 0);
      flushed_ = true;
      continue;
    }
    AVFrame* f = frame_.get();
    if (f->nb_samples > 0) {
      // The converter follows the decoded frames: some decoders only tell
      // their sample format with the first frame, a few change it midway.
      AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
      // Zeroed first: a copy lets go of what its destination held, and a
      // custom layout's map is a pointer.
      AVChannelLayout in_layout{};
      bool copied = true;
      if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels < 1) {
        av_channel_layout_default(&in_layout, std::max(1, f->ch_layout.nb_channels));
      } else {
        copied = av_channel_layout_copy(&in_layout, &f->ch_layout) >= 0;
      }
      const bool usable = copied && in_layout.nb_channels >= 1 && in_layout.nb_channels <= 8 &&
                          f->sample_rate >= 1000 && f->sample_rate <= 384000;
      if (usable && resampler_ &&
          (f->format != in_format_ || f->sample_rate != in_rate_ ||
           av_channel_layout_compare(&in_layout, &in_layout_) != 0)) {
        // Converting a frame with the settings of another would read past
        // its data.
        swr_free(&resampler_);
      }
      if (usable && !resampler_) {
        in_format_ = f->format;
        in_rate_ = f->sample_rate;
        // The copy lets go of the layout held before.
        if (av_channel_layout_copy(&in_layout_, &in_layout) < 0 ||
            swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, kSampleRate,
                                &in_layout, static_cast<AVSampleFormat>(f->format),
                                f->sample_rate, 0, nullptr) < 0 ||
            swr_init(resampler_) < 0) {
          swr_free(&resampler_);
        }
      }
      av_channel_layout_uninit(&in_layout);
      if (usable) Convert(f->extended_data, f->nb_samples);
    }
    av_frame_unref(f);
  }
}

int AudioFile::Read(int16_t* out, int frames) {
  int done = 0;
  while (done < frames) {
    if (taken_ >= pending_.size()) {
      Refill();
      if (taken_ >= pending_.size()) break;
    }
    const int available = static_cast<int>((pending_.size() - taken_) / 2);
    const int n = std::min(available, frames - done);
    if (out) {
      std::memcpy(out + static_cast<size_t>(done) * 2, pending_.data() + taken_,
                  static_cast<size_t>(n) * 2 * sizeof(int16_t));
    }
    taken_ += static_cast<size_t>(n) * 2;
    done += n;
  }
  position_ += static_cast<uint64_t>(done);
  return done;
}

void AudioFile::Seek(uint64_t frame, bool) {
  if (frame < position_ && !Rewind()) return;
  constexpr int kStep = 1 << 16;
  while (position_ < frame) {
    const int want = static_cast<int>(std::min<uint64_t>(kStep, frame - position_));
    if (Read(nullptr, want) < want) break;
  }
}

}  // namespace tsumugi::media
