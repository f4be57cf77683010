#include "engine/engine.h"

#include <exception>

namespace tsumugi {

Engine::Engine(Host& host_in, EngineOptions options_in)
    : host(host_in),
      options(std::move(options_in)),
      fonts(options.crisp_text),
      startup(*this),
      form(*this),
      catalogue(host.Dialogs(), settings, files, form),
      script(host.Events(), host.Dialogs(), catalogue, settings, form, record, vars, pages,
             state.input, state.script,
             {.show_text_line = [this] { text.ShowTextLine(); },
              .run_returned =
                  [this] {
                    if (AtEventLoop()) player.AtWait();
                  }}),
      input(host.Clock(), host.Events(), host.Window(), script, flow, vars, text, buttons, mci,
            media, state.buttons, state.script, state.text, state.input),
      flow(settings, catalogue, script, vars, state.script, state.calls),
      vars(host.Clock(), options, script, state.vars),
      files(options.game_folder, settings, host.Dialogs(), script),
      pages(state.pages),
      graphics(host.Clock(), host.Events(), host.Dialogs(), host.Window(), script, files, pages,
               media, pace, state.text),
      text(host.Clock(), host.Events(), host.Window(), fonts, catalogue, script, flow, vars, files,
           printer, record, pace, state.buttons, state.input, state.script, state.text),
      printer(host.Window(), fonts, pages, state.text, state.print),
      buttons(host.Window(), script, flow, vars, files, text, record, state.script, state.buttons),
      saves(host.Dialogs(), host.Storage(), options, settings, catalogue, script, vars,
            state.buttons, state.calls, state.text, state.vars),
      cursor(host.Clock(), host.Dialogs(), host.Window(), script, files, state.input, state.cursor),
      mci(host.Media(), state.media, options.game_folder,
          [this](int slot) {
            // The end of a video: the script goes on after its line.
            media.HideVideoBox();
            mci.StopDevice(slot);
            state.input.RunState = RunStateKind::kRunning;
            host.DoEvents();
            script.RunScript();
          }),
      media(host.Events(), host.Window(), host.Media(), script, files, mci, state.input,
            state.text),
      record(host.Clock(), catalogue, settings),
      player(*this) {
  RegisterCommands();
  fonts.SetTextFace(options.text_face);
  if (options.TextLaidOutOtherwise()) {
    TextTranslator translate;
    if (options.translation) translate = [this](std::u16string_view w) { return Translated(w); };
    text.ShowTextsOtherwise(translate, options.wrap_words);
    printer.ShowTextsOtherwise(translate);
  }
  record.Listen(&player);
  host.SetEventSink(this);
}

Engine::~Engine() {
  host.SetEventSink(nullptr);
}

namespace {

// The player's layer keeps what it must at the end of every run.
struct FinishScope {
  PlayerLayer& player;
  ~FinishScope() { player.Finish(); }
};

}  // namespace

ExitStatus Engine::Run() {
  FinishScope finish{player};
  try {
    startup.StartEngine(/*run_script=*/!options.resume);
    // Without an automatic save that fits, the game starts as usual.
    if (options.resume && !player.Resume()) script.RunScript();
    host.RunEventLoop();
    // A host without a player (no more input) lets the loop end: that is
    // the player leaving.
    player.Quitting();
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

std::optional<std::u16string> Engine::Translated(std::u16string_view written) {
  const std::u16string* shown = options.translation->Find(script.CurrentFileName(), written);
  if (shown == nullptr) return std::nullopt;
  return vars.ExpandText(*shown);
}

std::u16string Engine::ShownCaption(const std::u16string& caption) const {
  if (!options.translation) return caption;
  const std::u16string* shown = options.translation->FindInAnyContext(caption);
  return shown != nullptr ? *shown : caption;
}

void Engine::RebuildCaches() {
  text.RebuildPictures();
  graphics.ForgetPicture();
  buttons.RebuildPictures();
  cursor.RebuildPicture();
}

ExitStatus Engine::RunFrom(const Snapshot& snapshot) {
  FinishScope finish{player};
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
void Engine::OnWheel(int notches) {
  HostEvent event(*this);
  player.Wheel(notches);
}
void Engine::OnKeyPress(int character) {
  form.KeyPress(character);
}
void Engine::OnTimer(TimerId timer) {
  HostEvent event(*this);
  form.TimerTick(timer);
}
void Engine::OnCloseRequest() {
  player.Quitting();
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
