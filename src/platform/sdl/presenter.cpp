#include "platform/sdl/presenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tsumugi::sdl {

namespace {

SDL_Rect ToSdl(const Rect& r) {
  return {r.x, r.y, r.width, r.height};
}

class SurfacePresenter final : public Presenter {
 public:
  SurfacePresenter(SDL_Window* window, Filter filter, uint32_t frame_ms)
      : window_(window),
        filter_(filter),
        frame_ms_(frame_ms),
        shown_(gdi::kScreenWidth, gdi::kScreenHeight) {}
  ~SurfacePresenter() override {
    if (staging_) SDL_FreeSurface(staging_);
  }

  bool Ready(uint32_t now) override { return TimeUntilReady(now, 1) == 0; }

  uint32_t TimeUntilReady(uint32_t now, uint32_t cap) override {
    if (!presented_) return 0;
    const int32_t left = static_cast<int32_t>(frame_ms_) - static_cast<int32_t>(now - last_);
    return left <= 0 ? 0 : std::min(cap, static_cast<uint32_t>(left));
  }

  void Present(const gdi::Surface& frame, bool whole, uint32_t now) override {
    presented_ = true;
    last_ = now;
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface || surface->w <= 0 || surface->h <= 0) return;
    if (surface != surface_ || surface->w != output_.width || surface->h != output_.height) {
      // A new size: everything is laid out and drawn again.
      surface_ = surface;
      output_ = {surface->w, surface->h};
      viewport_ = Viewport(output_);
      scaler_.Configure({viewport_.width, viewport_.height}, filter_);
      whole = true;
    }
    const uint32_t format = surface->format->format;
    const bool direct = format == SDL_PIXELFORMAT_XRGB8888 || format == SDL_PIXELFORMAT_ARGB8888;
    SDL_Surface* target = surface;
    if (!direct) {
      // An unusual display depth: draw into pixels of our own layout and let
      // SDL convert them.
      if (!staging_ || staging_->w != output_.width || staging_->h != output_.height) {
        if (staging_) SDL_FreeSurface(staging_);
        staging_ = SDL_CreateRGBSurfaceWithFormat(0, output_.width, output_.height, 32,
                                                  SDL_PIXELFORMAT_XRGB8888);
        if (!staging_) return;
      }
      target = staging_;
    }

    rects_.clear();
    if (whole) {
      shown_ = frame;
      SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
      rects_.push_back({0, 0, output_.width, output_.height});
      Draw(target, {0, 0, viewport_.width, viewport_.height});
    } else {
      for (const Rect& band : TakeChanges(frame, &shown_)) {
        const Rect area = scaler_.Affected(band);
        if (area.Empty()) continue;
        Draw(target, area);
        rects_.push_back({area.x + viewport_.x, area.y + viewport_.y, area.width, area.height});
      }
    }
    if (rects_.empty()) return;
    if (!direct) {
      for (SDL_Rect& r : rects_) {
        SDL_Rect to = r;
        SDL_BlitSurface(staging_, &r, surface, &to);
      }
    }
    SDL_UpdateWindowSurfaceRects(window_, rects_.data(), static_cast<int>(rects_.size()));
  }

  std::string Name() const override { return "software"; }

 private:
  void Draw(SDL_Surface* target, const Rect& area) {
    if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
    uint32_t* origin = static_cast<uint32_t*>(target->pixels) +
                       static_cast<ptrdiff_t>(viewport_.y) * (target->pitch / 4) + viewport_.x;
    scaler_.Draw(shown_, area, origin, target->pitch / 4);
    if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
  }

  SDL_Window* window_;
  Filter filter_;
  uint32_t frame_ms_;
  bool presented_ = false;
  uint32_t last_ = 0;
  // What the window shows, unscaled.
  gdi::Surface shown_;
  SDL_Surface* surface_ = nullptr;
  SDL_Surface* staging_ = nullptr;
  Size output_;
  Rect viewport_;
  PictureScaler scaler_;
  std::vector<SDL_Rect> rects_;
};

class RendererPresenter final : public Presenter {
 public:
  RendererPresenter(SDL_Window* window, Filter filter)
      : window_(window), filter_(filter), frame_(gdi::kScreenWidth, gdi::kScreenHeight) {}

  ~RendererPresenter() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  // Starts the thread and waits until it has its renderer or has failed.
  bool Start(std::string* error) {
    thread_ = std::thread([this] { Run(); });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return started_; });
    if (!error_.empty()) {
      *error = error_;
      lock.unlock();
      thread_.join();
      return false;
    }
    return true;
  }

  bool Ready(uint32_t) override {
    std::lock_guard lock(mutex_);
    return idle_ && !work_;
  }

  uint32_t TimeUntilReady(uint32_t now, uint32_t cap) override {
    // The thread wakes the host when it is ready; until then the host looks
    // again shortly.
    return Ready(now) ? 0 : std::min<uint32_t>(cap, 2);
  }

  void Present(const gdi::Surface& frame, bool whole, uint32_t) override {
    {
      std::lock_guard lock(mutex_);
      if (whole) {
        frame_ = frame;
        whole_ = true;
        bands_.assign(1, {0, 0, gdi::kScreenWidth, gdi::kScreenHeight});
      } else {
        for (const Rect& band : TakeChanges(frame, &frame_)) bands_.push_back(band);
      }
      if (bands_.empty() && !whole_) return;
      work_ = true;
    }
    wake_.notify_all();
  }

  void Finish() override {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return (idle_ && !work_) || stop_; });
  }

  std::string Name() const override { return name_; }

 private:
  void Run() {
    const bool ok = Create();
    {
      std::lock_guard lock(mutex_);
      started_ = true;
      if (!ok) error_ = SDL_GetError();
    }
    wake_.notify_all();
    if (!ok) {
      Destroy();
      SDL_TLSCleanup();
      return;
    }
    std::vector<Rect> bands;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        idle_ = true;
        wake_.notify_all();
        wake_.wait(lock, [this] { return work_ || stop_; });
        if (stop_) break;
        idle_ = false;
        if (whole_ && target_) {
          // After a lost device the enlarged copy is made anew.
          SDL_DestroyTexture(target_);
          target_ = nullptr;
        }
        whole_ = false;
        // The texture takes the changed rows straight from the shared copy,
        // which the host does not touch while the lock is held.
        for (const Rect& b : bands_) {
          const SDL_Rect r = ToSdl(b);
          SDL_UpdateTexture(texture_, &r, frame_.Row(b.y) + b.x,
                            frame_.Stride() * static_cast<int>(sizeof(uint32_t)));
        }
        bands_.clear();
        work_ = false;
      }
      Draw();
      SDL_Event ready{};
      ready.type = PresenterReadyEvent();
      SDL_PushEvent(&ready);
    }
    Destroy();
    // SDL keeps per-thread data (the current GL context, the error text)
    // that it frees by itself only for threads it started.
    SDL_TLSCleanup();
  }

  bool Create() {
    renderer_ = SDL_CreateRenderer(
        window_, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC | SDL_RENDERER_TARGETTEXTURE);
    if (!renderer_) return false;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer_, &info) == 0) name_ = info.name;
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                                 gdi::kScreenWidth, gdi::kScreenHeight);
    return texture_ != nullptr;
  }

  void Destroy() {
    if (target_) SDL_DestroyTexture(target_);
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    target_ = texture_ = nullptr;
    renderer_ = nullptr;
  }

  void Draw() {
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(renderer_, &w, &h);
    const Rect viewport = Viewport({w, h});
    SDL_SetRenderTarget(renderer_, nullptr);
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    if (viewport.Empty()) {
      SDL_RenderPresent(renderer_);
      return;
    }
    const SDL_Rect dst = ToSdl(viewport);
    // Sharp at a whole-number scale, and smooth: the card samples the
    // picture straight. Sharp at other scales: the picture is first
    // enlarged by the next whole number with square pixels, and that is
    // filtered down to the viewport, so only the borders between pixels
    // are blended.
    const bool whole_scale =
        viewport.width % gdi::kScreenWidth == 0 && viewport.height % gdi::kScreenHeight == 0;
    if (filter_ == Filter::kSmooth || whole_scale || viewport.width < gdi::kScreenWidth) {
      SDL_SetTextureScaleMode(texture_, filter_ == Filter::kSmooth ? SDL_ScaleModeLinear
                                                                   : SDL_ScaleModeNearest);
      SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
    } else {
      const int k = (viewport.width + gdi::kScreenWidth - 1) / gdi::kScreenWidth;
      if (!target_ || target_scale_ != k) {
        if (target_) SDL_DestroyTexture(target_);
        target_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_TARGET,
                                    gdi::kScreenWidth * k, gdi::kScreenHeight * k);
        target_scale_ = k;
      }
      if (target_) {
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeNearest);
        SDL_SetTextureScaleMode(target_, SDL_ScaleModeLinear);
        SDL_SetRenderTarget(renderer_, target_);
        SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
        SDL_SetRenderTarget(renderer_, nullptr);
        SDL_RenderCopy(renderer_, target_, nullptr, &dst);
      } else {
        SDL_SetTextureScaleMode(texture_, SDL_ScaleModeLinear);
        SDL_RenderCopy(renderer_, texture_, nullptr, &dst);
      }
    }
    SDL_RenderPresent(renderer_);
  }

  SDL_Window* window_;
  Filter filter_;
  std::string name_ = "accelerated";
  std::thread thread_;

  // Shared with the host, under the mutex.
  std::mutex mutex_;
  std::condition_variable wake_;
  gdi::Surface frame_;
  std::vector<Rect> bands_;
  bool whole_ = false;
  bool work_ = false;
  bool idle_ = false;
  bool stop_ = false;
  bool started_ = false;
  std::string error_;

  // The thread's own.
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  SDL_Texture* target_ = nullptr;
  int target_scale_ = 0;
};

}  // namespace

uint32_t PresenterReadyEvent() {
  static const uint32_t type = SDL_RegisterEvents(1);
  return type;
}

std::unique_ptr<Presenter> MakeSurfacePresenter(SDL_Window* window, Filter filter,
                                                uint32_t frame_ms, std::string* error) {
  if (!SDL_GetWindowSurface(window)) {
    *error = SDL_GetError();
    return nullptr;
  }
  return std::make_unique<SurfacePresenter>(window, filter, frame_ms);
}

std::unique_ptr<Presenter> MakeRendererPresenter(SDL_Window* window, Filter filter,
                                                 std::string* error) {
  PresenterReadyEvent();
  auto presenter = std::make_unique<RendererPresenter>(window, filter);
  if (!presenter->Start(error)) return nullptr;
  return presenter;
}

}  // namespace tsumugi::sdl
