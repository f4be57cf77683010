// The engine: one object that owns the state of every subsystem.
//
// Nothing in the engine is global, so a test can build an engine on a host,
// run a game and throw it away. Subsystems reach each other through the
// engine they belong to.
#pragma once

#include <filesystem>
#include <optional>

#include "engine/buttons/buttons.h"
#include "engine/cursor/cursor.h"
#include "engine/engine_end.h"
#include "engine/engine_options.h"
#include "engine/files/game_files.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/pages.h"
#include "engine/input/form.h"
#include "engine/input/input.h"
#include "engine/media/mci_play.h"
#include "engine/media/media_commands.h"
#include "engine/player/player_layer.h"
#include "engine/save/save_files.h"
#include "engine/script/catalogue.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/startup/settings.h"
#include "engine/startup/startup.h"
#include "engine/state/game_state.h"
#include "engine/state/player_pace.h"
#include "engine/state/snapshot.h"
#include "engine/text/text_print.h"
#include "engine/text/text_window.h"
#include "engine/vars/variables.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

class Engine final : public HostEvents {
 public:
  Engine(Host& host, EngineOptions options);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine() override;

  // Starts the engine and lets it live on events until it ends.
  ExitStatus Run();
  // Starts the engine up to its first line, puts the snapshot in place
  // instead of running it, and lets the game go on from there until it
  // ends. The snapshot must fit the game (CheckSnapshot).
  ExitStatus RunFrom(const Snapshot& snapshot);

  // HostEvents: the form's event routing.
  void OnMouseDown(MouseButton button, int shift, int x, int y) override;
  void OnMouseUp(MouseButton button, int shift, int x, int y) override;
  void OnKeyDown(KeyCode key, int shift) override;
  void OnKeyUp(KeyCode key, int shift) override;
  void OnWheel(int notches) override;
  void OnKeyPress(int character) override;
  void OnTimer(TimerId timer) override;
  void OnCloseRequest() override;
  void OnTimeLimit() override;
  void OnMediaNotify() override;

  // Hands each command of the scenario language to the part that runs it.
  void RegisterCommands();

  // A text of the current scenario as written, translated with the values
  // put in; none without a translation of it.
  std::optional<std::u16string> Translated(std::u16string_view written);
  // The caption shown for the game's caption `caption` (its translation,
  // looked for in every scenario, when it has one).
  std::u16string ShownCaption(const std::u16string& caption) const;

  // Makes what the subsystems keep beside the state (pictures loaded from
  // files, the pointer picture) again from the state.
  void RebuildCaches();

  // No script is on the stack: the engine waits for the player, and the
  // whole game can be taken or replaced. An event the host delivers while
  // another one is handled (a handler that lets the host pump its events
  // before it runs the script) is no wait: the outer handler has work left.
  bool AtEventLoop() const { return script.Depth() == 0 && wait_blockers == 0 && host_events <= 1; }
  // The script runs at the top level, where a command that pauses leaves
  // nothing to do after the pause but the script itself.
  bool AtTopOfScript() const {
    return script.Depth() == 1 && wait_blockers == 0 && host_events <= 1;
  }
  // While one exists, the caller still has work to do after the script it
  // ran comes back: it is no wait yet. The last one to go lets the
  // player's layer act when the engine is back at the event loop.
  class WaitBlocker {
   public:
    explicit WaitBlocker(Engine& engine);
    ~WaitBlocker();
    WaitBlocker(const WaitBlocker&) = delete;
    WaitBlocker& operator=(const WaitBlocker&) = delete;

   private:
    Engine& e_;
    int exceptions_;
  };
  int wait_blockers = 0;
  // How many events of the host are being handled, one inside another.
  int host_events = 0;
  struct HostEvent;

  Host& host;
  const EngineOptions options;

  // The whole of the running game; the subsystems below work on it.
  GameState state;
  // The pace the player chose; not the game's.
  PlayerPace pace;

  gdi::FontEngine fonts;
  Settings settings;
  Startup startup;
  Form form;
  Catalogue catalogue;
  Script script;
  Input input;
  ControlFlow flow;
  Variables vars;
  GameFiles files;
  Pages pages;
  Graphics graphics;
  TextWindow text;
  TextPrinter printer;
  Buttons buttons;
  SaveFiles saves;
  Cursor cursor;
  MciPlay mci;
  MediaCommands media;
  RunRecord record;
  PlayerLayer player;
};

}  // namespace tsumugi
