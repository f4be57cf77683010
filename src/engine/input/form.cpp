#include "engine/input/form.h"

#include "engine/engine.h"
#include "platform/media/media_service.h"

namespace tsumugi {

void Form::MouseDown(MouseButton button, int shift, int x, int y) {
  // The middle button is the player's; the game never hears of it.
  if (e_.player.MouseDown(button, x, y) || button == MouseButton::kMiddle) return;
  e_.player.GameInput();
  last_button = button;
  last_shift = shift;
  last_press = {x, y};
  // A press on the video box is the box's own, in its own coordinates.
  const VideoBox& box = e_.host.Media().Box();
  if (box.Contains(x, y)) {
    x -= box.left;
    y -= box.top;
  }
  e_.input.PressHandler(button, shift, static_cast<float>(x), static_cast<float>(y));
}

void Form::MouseUp(MouseButton button, int shift, int x, int y) {
  if (button == MouseButton::kMiddle || e_.player.MouseUp(button)) return;
  e_.input.ReleaseHandler(button, shift, static_cast<float>(x), static_cast<float>(y));
}

void Form::KeyDown(KeyCode key, int shift) {
  // The player's own keys; the game never hears of them.
  if (e_.player.KeyDown(key)) return;
  e_.player.GameInput();
  Host& host = e_.host;
  Point pointer = host.GetCursorPos();
  switch (key) {
    case KeyCode::kLeft:
      host.SetCursorPos({pointer.x - 10, pointer.y});
      break;
    case KeyCode::kUp:
      host.SetCursorPos({pointer.x, pointer.y - 10});
      break;
    case KeyCode::kRight:
      host.SetCursorPos({pointer.x + 10, pointer.y});
      break;
    case KeyCode::kDown:
      host.SetCursorPos({pointer.x, pointer.y + 10});
      break;
    default:
      break;
  }

  Input& input = e_.input;
  if (key == KeyCode::kF4 || (key == KeyCode::kEnter && shift == kAltMask)) {
    Settings& s = e_.settings;
    if (!s.DesktopIs640x480) {
      s.DisplayStyle = s.DisplayStyle == DisplayStyleKind::kFull ? DisplayStyleKind::kWindow
                                                                 : DisplayStyleKind::kFull;
      e_.startup.ApplyScreenMode();
    }
  } else if (key == KeyCode::kEnter) {
    if (!e_.state.input.EnterHeld) {
      e_.state.input.EnterHeld = true;
      input.PressHandler(MouseButton::kLeft, 0, static_cast<float>(pointer.x),
                         static_cast<float>(pointer.y));
    }
  } else if (key == KeyCode::kSpace) {
    if (!e_.state.input.SpaceHeld) {
      e_.state.input.SpaceHeld = true;
      input.PressHandler(MouseButton::kRight, 0, static_cast<float>(pointer.x),
                         static_cast<float>(pointer.y));
    }
  }
}

void Form::KeyUp(KeyCode key, int /*shift*/) {
  if (e_.player.KeyUp(key)) return;
  Input& input = e_.input;
  Point pointer = e_.host.GetCursorPos();
  if (key == KeyCode::kEnter && e_.state.input.EnterHeld) {
    e_.state.input.EnterHeld = false;
    input.ReleaseHandler(MouseButton::kLeft, 0, static_cast<float>(pointer.x),
                         static_cast<float>(pointer.y));
  } else if (key == KeyCode::kSpace && e_.state.input.SpaceHeld) {
    e_.state.input.SpaceHeld = false;
    input.ReleaseHandler(MouseButton::kRight, 0, static_cast<float>(pointer.x),
                         static_cast<float>(pointer.y));
  }
}

void Form::KeyPress(int character) {
  if (e_.player.KeyPress(character)) return;
  if (character == 27) {
    e_.player.Quitting();
    EndEngine(ExitStatus::kNormal);
  }
}

void Form::Load() {
  // The design intervals of the hover highlight and the button tracking;
  // the marker's blink is set by its command.
  e_.host.SetTimerInterval(TimerId::kTimer1, 10);
  e_.host.SetTimerInterval(TimerId::kTimer4, 50);
}

void Form::TimerTick(TimerId timer) {
  switch (timer) {
    case TimerId::kTimer1:
      e_.text.HoverTick();
      break;
    case TimerId::kTimer3:
      e_.text.BlinkTick();
      break;
    case TimerId::kTimer4:
      e_.buttons.TrackTick();
      break;
    case TimerId::kNote:
      e_.player.NoteTimer();
      break;
    case TimerId::kAnswer:
      e_.player.AnswerTimer();
      break;
  }
}

void Form::Unload() {
  ++unload_count_;
  e_.mci.StopAllDevices();
  e_.host.Media().StopSound();
  // The blending buffers are released by their owner's destructor; the
  // display goes back to its normal mode here, because only the form knows
  // it changed it.
  if (e_.settings.DisplayStyle == DisplayStyleKind::kFull) e_.host.RestoreDisplayMode();
  for (TimerId timer : {TimerId::kTimer1, TimerId::kTimer3, TimerId::kTimer4}) {
    e_.host.EnableTimer(timer, false);
  }
}

void Form::DoEndEngine(ExitStatus status) {
  if (!ending_) {
    ending_ = true;
    Unload();
  }
  throw EngineEnded{status};
}

void Form::EndWithoutUnload(ExitStatus status) {
  ending_ = true;
  throw EngineEnded{status};
}

}  // namespace tsumugi
