// The one description of the game state's bytes: every field of every
// structure, named once, in the order in which the writer writes and the
// reader reads them (see state_io.h). A field added to a structure is added
// here too, and the snapshot format's version goes up.
#pragma once

#include "engine/state/game_state.h"
#include "engine/state/state_io.h"

namespace tsumugi {

template <typename Io>
void Walk(Io& io, ScriptState& s) {
  io(s.CurrentFile);
  io(s.CurrentLineNumber);
  io(s.CurrentLine);
}

template <typename Io>
void Walk(Io& io, InputState& s) {
  io(s.RunState);
  io(s.SavedRunState);
  io(s.LeftHeld);
  io(s.RightHeld);
  io(s.ClickSkip);
  io(s.RightClickEnabled);
  io(s.RightClickReturns);
  io(s.EnterHeld);
  io(s.SpaceHeld);
  io(s.TclClearMode);
}

template <typename Io>
void Walk(Io& io, CallMemoryState& s) {
  Walk(io, s.MemoryFile);
  Walk(io, s.MemoryLine);
}

template <typename Io>
void Walk(Io& io, VariableState& s) {
  Walk(io, s.IntegerNames);
  Walk(io, s.IntegerValues);
  Walk(io, s.TextNames);
  Walk(io, s.TextValues);
  Walk(io, s.Flags);
  io(s.Random);
}

template <typename Io>
void Walk(Io& io, TextLine& line) {
  io(line.Text);
  io(line.ChoiceNumber);
  io(line.TextColour);
  io(line.ShadowColour);
}

template <typename Io>
void Walk(Io& io, PageMemory& memory) {
  io(memory.File);
  io(memory.Line);
  io(memory.LastLine);
  io(memory.CurrentLine);
  Walk(io, memory.Lines);
}

template <typename Io>
void Walk(Io& io, TextContext& context) {
  Walk(io, context.font);
  io(context.char_extra);
}

template <typename Io>
void Walk(Io& io, TextWindowState& s) {
  Walk(io, s.TextLines);
  io(s.LastLineIndex);
  io(s.CurrentTextLine);
  io(s.TypingDelay);
  io(s.FastTypingDelay);
  io(s.ShowRestAtOnce);
  io(s.TextMode);
  io(s.Leading);
  io(s.CharacterSpacing);
  io(s.ShadowOffset);
  io(s.EdgeOn);
  io(s.UsualColour);
  io(s.SelectedColour);
  io(s.NotSelectedColour);
  io(s.UsualShadowColour);
  io(s.SelectedShadowColour);
  io(s.NotSelectedShadowColour);
  io(s.TextWindowVisible);
  io(s.ChoiceCounter);
  io(s.WindowX);
  io(s.WindowY);
  io(s.CanvasX);
  io(s.CanvasY);
  Walk(io, s.Canvas);
  io(s.PenY);
  io(s.HoverPresented);
  io(s.WindowPicture.Name);
  io(s.WindowPicture.BlankWidth);
  io(s.WindowPicture.BlankHeight);
  io(s.PicTextCanvas);
  io(s.PicTextSpace);
  io(s.PicTextSave);
  io(s.TclMarkerName);
  io(s.ClkMarkerName);
  io(s.PicMarkSave);
  io(s.PicMarkWork);
  io(s.MarkerMode);
  io(s.MarkerOffsetX);
  io(s.MarkerOffsetY);
  io(s.MarkerX);
  io(s.MarkerY);
  io(s.MarkerShown);
  io(s.SnapFile);
  io(s.SnapLine);
  io(s.SnapCurrentLine);
  io(s.SnapLastLine);
  Walk(io, s.SnapLines);
  io(s.RecallFile);
  io(s.RecallLine);
  io(s.RecallSlot);
  Walk(io, s.RecallMemories);
}


template <typename Io>
void Walk(Io& io, PrintState& s) {
  io(s.PrintLeading);
  io(s.PrintSpacing);
  io(s.PrintShadowOffset);
  io(s.PrintColour);
  io(s.PrintShadowColour);
  io(s.PrintEdgeOn);
  io(s.PrintAlign);
  Walk(io, s.Screen);
  Walk(io, s.Pages);
}

template <typename Io>
void Walk(Io& io, PageState& s) {
  io(s.PageCount);
  io(s.BaseColour);
  Walk(io, s.Pages);
}

template <typename Io>
void Walk(Io& io, ButtonState& b) {
  io(b.X);
  io(b.Y);
  io(b.MemoryNumber);
  io(b.Normal);
  io(b.Pressed);
  io(b.HitMap);
  io(b.PicBtnSave);
}

template <typename Io>
void Walk(Io& io, ButtonsState& s) {
  Walk(io, s.Buttons);
  io(s.ButtonsShown);
  io(s.PressedButton);
  io(s.BlockEndFile);
  io(s.BlockEndLine);
  Walk(io, s.ButtonMemories);
}

template <typename Io>
void Walk(Io& io, MediaSlotsState& s) {
  Walk(io, s.DevicePlaying);
  Walk(io, s.DeviceLoops);
  Walk(io, s.VideoOpen);
  io(s.CdTrackCount);
  io(s.CdTrack);
}

template <typename Io>
void Walk(Io& io, GameState& s) {
  Walk(io, s.script);
  Walk(io, s.input);
  Walk(io, s.calls);
  Walk(io, s.vars);
  Walk(io, s.text);
  Walk(io, s.print);
  Walk(io, s.pages);
  Walk(io, s.buttons);
  io(s.cursor.Picture);
  Walk(io, s.media);
  io(s.window.Caption);
}

// The game's own lines beside the shown ones (a translation), and what was
// shown of each kept page. Walked after the rest of a snapshot, which was
// complete without them.
template <typename Io>
void WalkHeldText(Io& io, GameState& game) {
  TextWindowState& s = game.text;
  Walk(io, s.HeldLines);
  io(s.HeldCurrentLine);
  Walk(io, s.HeldSnapLines);
  io(s.HeldSnapLastLine);
  io(s.HeldSnapCurrentLine);
  for (PageMemoryTable* table : {&s.RecallMemories, &game.buttons.ButtonMemories}) {
    for (PageMemory& memory : *table) {
      Walk(io, memory.Shown);
      io(memory.ShownLastLine);
      io(memory.ShownCurrentLine);
    }
  }
}

}  // namespace tsumugi
