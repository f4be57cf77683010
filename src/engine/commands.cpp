// Which part of the engine runs each command of the scenario language. The
// command table (script/command_table.cpp) says how each command's line is
// read; the dispatcher reads it and hands the handler registered here its
// arguments.
#include <algorithm>

#include "engine/engine.h"
#include "engine/script/command_args.h"
#include "engine/state/game_state.h"

namespace tsumugi {

void Engine::RegisterCommands() {
  auto on = [this](std::u16string_view name, CommandHandler handler) {
    script.RegisterCommand(name, std::move(handler));
  };
  // The reader itself.
  // .end
  on(u"end", [this](CommandArgs&) -> bool { form.EndEngine(ExitStatus::kNormal); });
  // .cap TEXT
  on(u"cap", [this](CommandArgs& args) {
    state.window.Caption = args.Text(0);
    std::optional<std::u16string> shown;
    if (options.translation) shown = Translated(args.Word(0));
    host.SetCaption(shown ? *shown : state.window.Caption);
    return false;
  });
  // .wat MILLISECONDS
  on(u"wat", [this](CommandArgs& args) {
    const int32_t milliseconds = args.Integer(0);
    if (!AtTopOfScript()) {
      text.WaitMilliseconds(milliseconds);
      return false;
    }
    // A pause at the top level is a wait the player's layer may take a
    // snapshot in: after it only the script goes on.
    struct PauseScope {
      PlayerLayer& player;
      ~PauseScope() { player.PauseEnds(); }
    } scope{player};
    player.PauseBegins(host.TimeGetTime() +
                       static_cast<uint32_t>(std::max<int64_t>(pace.Pause(milliseconds), 0)));
    text.WaitMilliseconds(milliseconds);
    return false;
  });

  // Labels, jumps, calls and conditional blocks.
  on(u"jmp", [this](CommandArgs& args) { return flow.Jmp(args); });
  on(u"sub", [this](CommandArgs& args) { return flow.Sub(args); });
  on(u"skp", [this](CommandArgs& args) { return flow.Skp(args); });
  on(u"cas", [this](CommandArgs& args) { return flow.Cas(args); });
  // Values.
  on(u"let", [this](CommandArgs& args) { return vars.Let(args); });
  on(u"rnd", [this](CommandArgs& args) { return vars.Rnd(args); });
  on(u"now", [this](CommandArgs& args) { return vars.Now(args); });
  // The text window, click waits, choices and recall points.
  on(u"tcl", [this](CommandArgs& args) { return text.Tcl(args); });
  on(u"clk", [this](CommandArgs& args) { return text.Clk(args); });
  on(u"mst", [this](CommandArgs& args) { return text.Mst(args); });
  on(u"tsw", [this](CommandArgs& args) { return text.Tsw(args); });
  on(u"thd", [this](CommandArgs& args) { return text.Thd(args); });
  on(u"tsp", [this](CommandArgs& args) { return text.Tsp(args); });
  on(u"tmd", [this](CommandArgs& args) { return text.Tmd(args); });
  on(u"txt", [this](CommandArgs& args) { return text.Txt(args); });
  on(u"slt", [this](CommandArgs& args) { return text.Slt(args); });
  on(u"rcl", [this](CommandArgs& args) { return text.Rcl(args); });
  on(u"tpr", [this](CommandArgs& args) { return printer.Tpr(args); });
  // Pictures.
  on(u"pic", [this](CommandArgs& args) { return graphics.PictureCommand(args, false); });
  on(u"spr", [this](CommandArgs& args) { return graphics.PictureCommand(args, true); });
  on(u"bsc", [this](CommandArgs& args) { return graphics.BaseColourCommand(args); });
  // Buttons.
  on(u"btn", [this](CommandArgs& args) { return buttons.Btn(args); });
  on(u"bsw", [this](CommandArgs& args) { return buttons.Bsw(args); });
  on(u"bhd", [this](CommandArgs& args) { return buttons.Bhd(args); });
  // Sound and video.
  on(u"mid", [this](CommandArgs& args) { return media.Music(args, kMidiSlot); });
  on(u"mp3", [this](CommandArgs& args) { return media.Music(args, kMp3Slot); });
  on(u"wav", [this](CommandArgs& args) { return media.Wav(args); });
  on(u"acd", [this](CommandArgs& args) { return media.Acd(args); });
  on(u"avi", [this](CommandArgs& args) { return media.Avi(args); });
  // Saves.
  on(u"sav", [this](CommandArgs& args) { return saves.Sav(args); });
  on(u"lod", [this](CommandArgs& args) { return saves.Lod(args); });
  // The pointer.
  on(u"cur", [this](CommandArgs& args) { return cursor.Cur(args); });
  on(u"mcm", [this](CommandArgs& args) { return cursor.Mcm(args); });
  on(u"mmd", [this](CommandArgs& args) { return cursor.Mmd(args); });
}

}  // namespace tsumugi
