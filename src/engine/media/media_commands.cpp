#include "engine/media/media_commands.h"

#include <limits>

#include "engine/engine_end.h"
#include "engine/files/game_files.h"
#include "engine/media/mci_play.h"
#include "engine/script/command_args.h"
#include "engine/state/game_state.h"
#include "engine/vars/number_text.h"
#include "platform/host.h"
#include "platform/media/media_service.h"

namespace tsumugi {

MediaCommands::MediaCommands(EventPump& events, HostWindow& window, MediaService& devices,
                             ScriptErrors& errors, GameFiles& files, MciPlay& mci,
                             InputState& input_state, TextWindowState& text_state)
    : events_(events),
      window_(window),
      devices_(devices),
      errors_(errors),
      files_(files),
      mci_(mci),
      input_state_(input_state),
      text_state_(text_state) {}

// .mid NAME|stop MODE     (0 repeated, 1 once; the mode is the rest of the line)
// .mp3 NAME|stop MODE ...  (the same; the mode is the next word)
bool MediaCommands::Music(CommandArgs& args, int slot) {
  if (args.Form() == u"stop") {
    mci_.StopDevice(slot);
    return false;
  }
  const std::u16string& name = args.Text(0);
  const bool midi = slot == kMidiSlot;
  const int32_t mode = args.Integer(1);
  // Only the modes that play look for the file.
  if (mode != 0 && mode != 1) return false;
  const std::filesystem::path path = files_.MediaPath(name, midi ? u"mid" : u"mp3");
  if (midi) {
    mci_.PlayMidi(path, mode == 0);
  } else {
    mci_.PlayMp3(path, mode == 0);
  }
  return false;
}

// .wav NAME|stop MODE   (0 once, 1 once and wait for its end, 2 repeated)
bool MediaCommands::Wav(CommandArgs& args) {
  MediaService& devices = devices_;
  if (args.Form() == u"stop") {
    devices.StopSound();
    return false;
  }
  const std::u16string& name = args.Text(0);
  const int32_t mode = args.Integer(1);
  if (mode < 0 || mode > 2) return false;
  devices.PlaySound(files_.MediaPath(name, u"wav"), mode == 2);
  if (mode == 1) devices.WaitForSound();
  return false;
}

// .acd TRACK|stop MODE   (an empty track word is track 1)
bool MediaCommands::Acd(CommandArgs& args) {
  if (args.Form() == u"stop") {
    mci_.StopCd();
    return false;
  }
  const int32_t track = args.Integer(0);
  const int32_t mode = args.Integer(1);
  if (mode == 0 || mode == 1) mci_.PlayCd(track, mode == 0);
  return false;
}

// .avi NAME PLAYMODE SIZEMODE
//   play mode 0 repeats until a click, 1 and 2 play once; size mode 0
//   fills the drawing area, 1 centres the video at its own size.
bool MediaCommands::Avi(CommandArgs& args) {
  ScriptErrors& script = errors_;
  if (text_state_.TextWindowVisible) {
    script.ScriptError(u"「.avi」は「.thd」がかかった状態でしか実行できません", false);
  }
  const std::u16string& name = args.Text(0);
  const int32_t play_mode = args.Integer(1);
  if (play_mode == 2) input_state_.RunState = RunStateKind::kRunning;
  mci_.OpenVideo(files_.MediaPath(name, u"avi"));
  ShowVideoBox(args.Integer(2));
  events_.DoEvents();
  if (play_mode == 0) {
    mci_.PlayVideo(true);
  } else if (play_mode == 1 || play_mode == 2) {
    mci_.PlayVideo(false);
  }
  // The script waits for the end of the video or a click.
  input_state_.RunState = RunStateKind::kPlayingVideo;
  return true;
}

void MediaCommands::ShowVideoBox(int32_t size_mode) {
  VideoBox& box = devices_.Box();
  constexpr int kWidth = gdi::kScreenWidth;
  constexpr int kHeight = gdi::kScreenHeight;
  if (size_mode == 0) {
    box.left = 0;
    box.top = 0;
    box.picture.Resize(kWidth, kHeight);
  } else if (size_mode == 1) {
    const int32_t width = mci_.VideoSourceWidth();
    const int32_t height = mci_.VideoSourceHeight();
    // The halving truncates toward zero, so a video larger than the window
    // is centred with negative offsets.
    box.left = (kWidth - width) / 2;
    box.top = (kHeight - height) / 2;
    box.picture.Resize(width, height);
  }
  box.picture.Clear();
  box.visible = true;
  ++box.version;
  window_.Refresh();
}

void MediaCommands::HideVideoBox() {
  VideoBox& box = devices_.Box();
  if (!box.visible) return;
  box.visible = false;
  ++box.version;
  window_.Refresh();
}

void MediaCommands::SetVideoBackColour(gdi::ColorRef colour) {
  devices_.Box().picture.SetBackColor(colour);
}

}  // namespace tsumugi
