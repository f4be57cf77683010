#include "engine/engine.h"

#include <exception>

namespace tsumugi {

Engine::Engine(Host& host_in, EngineOptions options_in)
    : host(host_in),
      options(std::move(options_in)),
      fonts(options.crisp_text),
      startup(*this),
      form(*this),
      catalogue(host, settings, picture_files, form),
      script(*this),
      input(*this),
      flow(*this),
      vars(*this),
      picture_files(options.game_folder, settings, host, script),
      pages(state.pages),
      graphics(*this),
      text(*this),
      printer(*this),
      buttons(*this),
      saves(*this),
      cursor(*this),
      mci(host.Media(), state.media, options.game_folder,
          [this](int slot) {
            // The end of a video: the script goes on after its line.
            media.HideVideoBox();
            mci.StopDevice(slot);
            state.input.RunState = RunStateKind::kRunning;
            host.DoEvents();
            script.RunScript();
          }),
      media(*this),
      record(host, catalogue, settings),
      player(*this) {
  host.SetEventSink(this);
}

Engine::~Engine() {
  host.SetEventSink(nullptr);
}

ExitStatus Engine::Run() {
  try {
    startup.StartEngine();
    host.RunEventLoop();
    // A host without a player (no more input) lets the loop end: that is
    // the player leaving.
    form.EndEngine(ExitStatus::kNormal);
  } catch (const EngineEnded& ended) {
    return ended.status;
  }
}

Engine::WaitBlocker::WaitBlocker(Engine& engine)
    : e_(engine), exceptions_(std::uncaught_exceptions()) {
  ++e_.wait_blockers;
}

Engine::WaitBlocker::~WaitBlocker() {
  --e_.wait_blockers;
  // Not while an end of the engine unwinds through it.
  if (std::uncaught_exceptions() == exceptions_ && e_.AtEventLoop()) e_.player.AtWait();
}

// Counts an event of the host while it is handled.
struct Engine::HostEvent {
  explicit HostEvent(Engine& engine) : e(engine) { ++e.host_events; }
  ~HostEvent() { --e.host_events; }
  HostEvent(const HostEvent&) = delete;
  HostEvent& operator=(const HostEvent&) = delete;
  Engine& e;
};

void Engine::RebuildCaches() {
  text.RebuildPictures();
  graphics.ForgetPicture();
  buttons.RebuildPictures();
  cursor.RebuildPicture();
}

ExitStatus Engine::RunFrom(const Snapshot& snapshot) {
  try {
    startup.StartEngine(/*run_script=*/false);
    ApplySnapshot(*this, snapshot, HeldInput::kAsTaken);
    ResumeAfterSnapshot(*this, snapshot);
    host.RunEventLoop();
    form.EndEngine(ExitStatus::kNormal);
  } catch (const EngineEnded& ended) {
    return ended.status;
  }
}

void Engine::OnMouseDown(MouseButton button, int shift, int x, int y) {
  HostEvent event(*this);
  form.MouseDown(button, shift, x, y);
}
void Engine::OnMouseUp(MouseButton button, int shift, int x, int y) {
  HostEvent event(*this);
  form.MouseUp(button, shift, x, y);
}
void Engine::OnKeyDown(KeyCode key, int shift) {
  HostEvent event(*this);
  form.KeyDown(key, shift);
}
void Engine::OnKeyUp(KeyCode key, int shift) {
  HostEvent event(*this);
  form.KeyUp(key, shift);
}
void Engine::OnKeyPress(int character) {
  form.KeyPress(character);
}
void Engine::OnTimer(TimerId timer) {
  HostEvent event(*this);
  form.TimerTick(timer);
}
void Engine::OnCloseRequest() {
  form.EndEngine(ExitStatus::kNormal);
}
void Engine::OnTimeLimit() {
  form.EndEngine(ExitStatus::kTimeLimit);
}
void Engine::OnMediaNotify() {
  HostEvent event(*this);
  // A script run for one slot comes back to the notification's loop: the
  // engine waits only when every slot has been looked at.
  WaitBlocker blocker(*this);
  mci.MciNotify();
}

}  // namespace tsumugi
