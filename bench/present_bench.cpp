// One present of the window: a whole new 640x480 screen, and a screen where
// only one text line changed, at twice the size (and at 2.25x, the full
// screen of a 1920x1080 display), with each presenter. Needs an X display
// (bench/window_costs.sh starts Xvfb); without one every case is skipped.
//
// Software: the time the engine's thread spends, scaling included, until
// the X server has the pixels. Accelerated: "handover" is what the engine's
// thread pays, "shown" adds the presenter thread's upload and drawing until
// the frame is presented.
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <memory>
#include <string>

#include "platform/sdl/presenter.h"

namespace tsumugi::sdl {
namespace {

struct Window {
  SDL_Window* window = nullptr;
  std::unique_ptr<Presenter> presenter;
  std::string error;
  Window(Size size, Filter filter, bool accelerated) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
      error = SDL_GetError();
      return;
    }
    window = SDL_CreateWindow("present", 0, 0, size.width, size.height,
                              SDL_WINDOW_SHOWN | (accelerated ? SDL_WINDOW_OPENGL : 0));
    if (!window) {
      error = SDL_GetError();
      return;
    }
    presenter = accelerated ? MakeRendererPresenter(window, filter, &error)
                            : MakeSurfacePresenter(window, filter, 0, &error);
  }
  ~Window() {
    presenter.reset();
    if (window) SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
};

// Two screens that differ everywhere, or in one line of text (32 rows of
// 600 pixels) only.
void MakeFrames(bool one_line, gdi::Surface* a, gdi::Surface* b) {
  *a = gdi::Surface(gdi::kScreenWidth, gdi::kScreenHeight);
  for (int y = 0; y < gdi::kScreenHeight; ++y) {
    for (int x = 0; x < gdi::kScreenWidth; ++x)
      a->Row(y)[x] = static_cast<uint32_t>(x * 977 + y * 131);
  }
  *b = *a;
  for (int y = one_line ? 400 : 0; y < (one_line ? 432 : gdi::kScreenHeight); ++y) {
    for (int x = one_line ? 20 : 0; x < (one_line ? 620 : gdi::kScreenWidth); ++x)
      b->Row(y)[x] ^= 0xFFFFFF;
  }
}

void Present(benchmark::State& state, Size size, Filter filter, bool accelerated, bool one_line,
             bool wait_shown) {
  Window w(size, filter, accelerated);
  if (!w.presenter) {
    state.SkipWithError(("no window: " + w.error).c_str());
    return;
  }
  gdi::Surface a, b;
  MakeFrames(one_line, &a, &b);
  w.presenter->Present(a, true, 0);
  w.presenter->Finish();
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    w.presenter->Present(flip ? b : a, false, 0);
    if (wait_shown) {
      w.presenter->Finish();
    } else {
      state.PauseTiming();
      w.presenter->Finish();
      state.ResumeTiming();
    }
  }
  state.SetLabel(w.presenter->Name());
}

constexpr Size k2x{1280, 960};
constexpr Size kFullHd{1920, 1080};

void BM_SoftwareWhole2x(benchmark::State& s) { Present(s, k2x, Filter::kSharp, false, false, true); }
void BM_SoftwareLine2x(benchmark::State& s) { Present(s, k2x, Filter::kSharp, false, true, true); }
void BM_SoftwareWhole2xSmooth(benchmark::State& s) {
  Present(s, k2x, Filter::kSmooth, false, false, true);
}
void BM_SoftwareWholeFullScreen(benchmark::State& s) {
  Present(s, kFullHd, Filter::kSharp, false, false, true);
}
void BM_SoftwareLineFullScreen(benchmark::State& s) {
  Present(s, kFullHd, Filter::kSharp, false, true, true);
}
void BM_AcceleratedWhole2xHandover(benchmark::State& s) {
  Present(s, k2x, Filter::kSharp, true, false, false);
}
void BM_AcceleratedWhole2xShown(benchmark::State& s) {
  Present(s, k2x, Filter::kSharp, true, false, true);
}
void BM_AcceleratedLine2xHandover(benchmark::State& s) {
  Present(s, k2x, Filter::kSharp, true, true, false);
}
void BM_AcceleratedLine2xShown(benchmark::State& s) {
  Present(s, k2x, Filter::kSharp, true, true, true);
}

BENCHMARK(BM_SoftwareWhole2x)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SoftwareLine2x)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SoftwareWhole2xSmooth)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SoftwareWholeFullScreen)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SoftwareLineFullScreen)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AcceleratedWhole2xHandover)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AcceleratedWhole2xShown)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AcceleratedLine2xHandover)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AcceleratedLine2xShown)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace tsumugi::sdl

BENCHMARK_MAIN();
