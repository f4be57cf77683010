#include "engine/media/media_commands.h"

#include <limits>

#include "engine/engine.h"
#include "engine/vars/number_text.h"
#include "platform/media/media_service.h"

namespace tsumugi {

MediaCommands::MediaCommands(Engine& engine) : e_(engine) {
  Script& script = e_.script;
  script.RegisterCommand(u"mid", [this](CommandArgs& args) { return Music(args, kMidiSlot); });
  script.RegisterCommand(u"mp3", [this](CommandArgs& args) { return Music(args, kMp3Slot); });
  script.RegisterCommand(u"wav", [this](CommandArgs& args) { return Wav(args); });
  script.RegisterCommand(u"acd", [this](CommandArgs& args) { return Acd(args); });
  script.RegisterCommand(u"avi", [this](CommandArgs& args) { return Avi(args); });
}

// .mid NAME|stop MODE     (0 repeated, 1 once; the mode is the rest of the line)
// .mp3 NAME|stop MODE ...  (the same; the mode is the next word)
bool MediaCommands::Music(CommandArgs& args, int slot) {
  if (args.Form() == u"stop") {
    e_.mci.StopDevice(slot);
    return false;
  }
  const std::u16string& name = args.Text(0);
  const bool midi = slot == kMidiSlot;
  const int32_t mode = args.Integer(1);
  // Only the modes that play look for the file.
  if (mode != 0 && mode != 1) return false;
  const std::filesystem::path path = e_.picture_files.MediaPath(name, midi ? u"mid" : u"mp3");
  if (midi) {
    e_.mci.PlayMidi(path, mode == 0);
  } else {
    e_.mci.PlayMp3(path, mode == 0);
  }
  return false;
}

// .wav NAME|stop MODE   (0 once, 1 once and wait for its end, 2 repeated)
bool MediaCommands::Wav(CommandArgs& args) {
  MediaService& devices = e_.host.Media();
  if (args.Form() == u"stop") {
    devices.StopSound();
    return false;
  }
  const std::u16string& name = args.Text(0);
  const int32_t mode = args.Integer(1);
  if (mode < 0 || mode > 2) return false;
  devices.PlaySound(e_.picture_files.MediaPath(name, u"wav"), mode == 2);
  if (mode == 1) devices.WaitForSound();
  return false;
}

// .acd TRACK|stop MODE   (an empty track word is track 1)
bool MediaCommands::Acd(CommandArgs& args) {
  if (args.Form() == u"stop") {
    e_.mci.StopCd();
    return false;
  }
  const int32_t track = args.Integer(0);
  const int32_t mode = args.Integer(1);
  if (mode == 0 || mode == 1) e_.mci.PlayCd(track, mode == 0);
  return false;
}

// .avi NAME PLAYMODE SIZEMODE
//   play mode 0 repeats until a click, 1 and 2 play once; size mode 0
//   fills the drawing area, 1 centres the video at its own size.
bool MediaCommands::Avi(CommandArgs& args) {
  Script& script = e_.script;
  if (e_.state.text.TextWindowVisible) {
    script.ScriptError(u"「.avi」は「.thd」がかかった状態でしか実行できません", false);
  }
  const std::u16string& name = args.Text(0);
  const int32_t play_mode = args.Integer(1);
  if (play_mode == 2) e_.state.input.RunState = RunStateKind::kRunning;
  e_.mci.OpenVideo(e_.picture_files.MediaPath(name, u"avi"));
  ShowVideoBox(args.Integer(2));
  e_.host.DoEvents();
  if (play_mode == 0) {
    e_.mci.PlayVideo(true);
  } else if (play_mode == 1 || play_mode == 2) {
    e_.mci.PlayVideo(false);
  }
  // The script waits for the end of the video or a click.
  e_.state.input.RunState = RunStateKind::kPlayingVideo;
  return true;
}

void MediaCommands::ShowVideoBox(int32_t size_mode) {
  VideoBox& box = e_.host.Media().Box();
  constexpr int kWidth = gdi::kScreenWidth;
  constexpr int kHeight = gdi::kScreenHeight;
  if (size_mode == 0) {
    box.left = 0;
    box.top = 0;
    box.picture.Resize(kWidth, kHeight);
  } else if (size_mode == 1) {
    const int32_t width = e_.mci.VideoSourceWidth();
    const int32_t height = e_.mci.VideoSourceHeight();
    // The halving truncates toward zero, so a video larger than the window
    // is centred with negative offsets.
    box.left = (kWidth - width) / 2;
    box.top = (kHeight - height) / 2;
    box.picture.Resize(width, height);
  }
  box.picture.Clear();
  box.visible = true;
  ++box.version;
  e_.host.Refresh();
}

void MediaCommands::HideVideoBox() {
  VideoBox& box = e_.host.Media().Box();
  if (!box.visible) return;
  box.visible = false;
  ++box.version;
  e_.host.Refresh();
}

void MediaCommands::SetVideoBackColour(gdi::ColorRef colour) {
  e_.host.Media().Box().picture.SetBackColor(colour);
}

}  // namespace tsumugi
