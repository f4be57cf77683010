#include "engine/state/snapshot.h"

#include <algorithm>
#include <cstdio>

#include "common/text_codec.h"
#include "engine/engine.h"
#include "engine/messages.h"
#include "engine/state/state_layout.h"

namespace tsumugi {

namespace {

// FNV-1a: stable from run to run and machine to machine, unlike std::hash.
class Fnv {
 public:
  void Add(std::u16string_view text) {
    for (char16_t c : text) {
      Byte(static_cast<uint8_t>(c));
      Byte(static_cast<uint8_t>(c >> 8));
    }
  }
  void Byte(uint8_t b) { hash_ = (hash_ ^ b) * 1099511628211ull; }
  uint64_t Value() const { return hash_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
};

uint64_t HashLines(const std::vector<std::u16string>& lines) {
  Fnv fnv;
  for (const std::u16string& line : lines) {
    fnv.Add(line);
    fnv.Byte('\n');
  }
  return fnv.Value();
}

// --- What a decoded state must be for the engine to run it -----------------------

class Checker {
 public:
  explicit Checker(std::string* why) : why_(why) {}

  bool ok = true;

  void That(bool condition, const char* what) {
    if (ok && !condition) {
      ok = false;
      *why_ = what;
    }
  }
  void Side(int value, int most, const char* what) { That(value >= 0 && value <= most, what); }
  void Memory(const PageMemory& m, int files) {
    That(m.File >= 0 && m.File <= files, "a page memory names no scenario");
    That(m.LastLine >= -1 && m.LastLine < kMemoryLines, "a page memory's line count");
    That(m.Shown.size() <= kMemoryLines && m.ShownLastLine >= -1 &&
             m.ShownLastLine < static_cast<int64_t>(m.Shown.size()),
         "a page memory's shown lines");
  }

 private:
  std::string* why_;
};

bool Sorted(const std::vector<std::u16string>& names) {
  return std::is_sorted(names.begin(), names.end()) &&
         std::adjacent_find(names.begin(), names.end()) == names.end();
}

bool ValidRunState(RunStateKind state) {
  return static_cast<int>(state) >= 0 && static_cast<int>(state) <= 8;
}

// The media's files, each with what may be done to it.
template <typename F>
void ForEachMediaFile(MediaSnapshot& media, F f) {
  for (MediaSlotSnapshot& slot : media.slots) {
    f(slot.file);
    for (auto& [track, file] : slot.tracks) f(file);
  }
  f(media.sound.file);
}

// A media file as a snapshot keeps it: relative to the game's folder, so
// that the snapshot still plays when the game has moved.
std::filesystem::path InGame(const std::filesystem::path& file,
                             std::initializer_list<std::filesystem::path> roots) {
  for (const std::filesystem::path& root : roots) {
    std::filesystem::path relative = file.lexically_relative(root);
    if (!relative.empty() && *relative.begin() != "..") return relative;
  }
  return file;
}

bool StaysInside(const std::filesystem::path& file) {
  if (file.is_absolute() || file.has_root_name()) return false;
  for (const std::filesystem::path& part : file) {
    if (part == "..") return false;
  }
  return true;
}

bool Check(const Snapshot& s, std::string* why) {
  Checker c(why);
  const GameState& g = s.state;
  const int files = static_cast<int>(s.scenarios.size());
  c.That(files >= 1, "no scenarios");
  c.That(g.script.CurrentFile >= 0 && g.script.CurrentFile <= files,
         "the reading position names no scenario");
  c.That(g.script.CurrentLineNumber >= 0, "the reading position's line");
  c.That(ValidRunState(g.input.RunState) && ValidRunState(g.input.SavedRunState), "the run state");
  for (int32_t file : g.calls.MemoryFile) c.That(file >= 0 && file <= files, "a call memory");
  const VariableState& v = g.vars;
  c.That(
      v.IntegerNames.size() == v.IntegerValues.size() && v.TextNames.size() == v.TextValues.size(),
      "the variables' names and values");
  c.That(Sorted(v.IntegerNames) && Sorted(v.TextNames), "the variables' names are not sorted");
  const TextWindowState& t = g.text;
  c.That(t.LastLineIndex >= 0 && t.LastLineIndex < TextWindow::kMaxLines &&
             t.TextLines.size() == static_cast<size_t>(t.LastLineIndex) + 1,
         "the display lines");
  c.That(t.CurrentTextLine >= 0 && t.CurrentTextLine <= t.LastLineIndex + 1, "the current line");
  c.That(t.SnapLastLine >= -1 && t.SnapLastLine < kMemoryLines &&
             t.SnapLines.size() >= static_cast<size_t>(std::max(1, t.SnapLastLine + 1)),
         "the page snapshot");
  c.That(t.SnapFile >= 0 && t.SnapFile <= files && t.RecallFile >= 0 && t.RecallFile <= files,
         "the page snapshot or the recall point names no scenario");
  for (const PageMemory& m : t.RecallMemories) c.Memory(m, files);
  c.That(t.HeldLines.empty() || (t.HeldLines.size() == t.TextLines.size() &&
                                 t.HeldCurrentLine >= 0 && t.HeldCurrentLine <= t.LastLineIndex + 1),
         "the game's own display lines");
  c.That(t.HeldSnapLastLine >= -1 && t.HeldSnapLastLine < kMemoryLines &&
             (t.HeldSnapLines.empty() ||
              t.HeldSnapLines.size() >= static_cast<size_t>(std::max(1, t.HeldSnapLastLine + 1))),
         "the game's own page snapshot");
  constexpr int kSide = TextWindow::kMaxWindowSide;
  for (const gdi::Surface* surface : {&t.PicTextCanvas, &t.PicTextSpace, &t.PicTextSave}) {
    c.Side(surface->Width(), kSide, "a text window picture's size");
    c.Side(surface->Height(), kSide, "a text window picture's size");
  }
  c.Side(t.WindowPicture.BlankWidth, kSide, "the window picture's size");
  c.Side(t.WindowPicture.BlankHeight, kSide, "the window picture's size");
  for (const gdi::Surface* surface : {&t.PicMarkSave, &t.PicMarkWork}) {
    c.Side(surface->Width(), TextWindow::kMaxMarkerWidth, "a marker picture's size");
    c.Side(surface->Height(), TextWindow::kMaxMarkerHeight, "a marker picture's size");
  }
  const PrintState& p = g.print;
  c.That(p.Pages.size() <= static_cast<size_t>(Pages::kMaxPageCount) + 1, "the print fonts");
  const PageState& pages = g.pages;
  c.Side(pages.PageCount, Pages::kMaxPageCount, "the page count");
  c.That(pages.Pages.size() <= static_cast<size_t>(pages.PageCount) + 1, "the pages");
  for (const gdi::Surface& page : pages.Pages) {
    c.That(
        page.Empty() || (page.Width() == gdi::kScreenWidth && page.Height() == gdi::kScreenHeight),
        "a page's size");
  }
  const ButtonsState& b = g.buttons;
  c.That(b.Buttons.size() <= static_cast<size_t>(Buttons::kMaxButtons), "the buttons");
  c.That(b.PressedButton >= 0 && b.PressedButton <= static_cast<int32_t>(b.Buttons.size()),
         "the pressed button");
  c.That(b.BlockEndFile >= 0 && b.BlockEndFile <= files, "the button list names no scenario");
  for (const ButtonState& button : b.Buttons) {
    c.That(button.MemoryNumber >= 0 && button.MemoryNumber < kMemoryCount, "a button's memory");
    c.That(!button.Normal.empty() && !button.Pressed.empty(), "a button's pictures");
    c.Side(button.PicBtnSave.Width(), gdi::Surface::kMaxDimension, "a button's size");
  }
  for (const PageMemory& m : b.ButtonMemories) c.Memory(m, files);
  c.That(s.screen.Width() == gdi::kScreenWidth && s.screen.Height() == gdi::kScreenHeight,
         "the screen's size");
  MediaSnapshot media = s.media;
  ForEachMediaFile(media, [&](std::filesystem::path& file) {
    c.That(StaysInside(file), "a media file lies outside the game");
  });
  for (const MediaSlotSnapshot& slot : s.media.slots) {
    c.That(slot.length == 0 || slot.position <= slot.length, "a medium's place is past its end");
    c.That(slot.track >= 0 && slot.track <= slot.track_count && slot.last_track >= 0 &&
               slot.last_track <= slot.track_count,
           "a CD track");
  }
  c.That(s.media.sound.length == 0 || s.media.sound.position <= s.media.sound.length,
         "the sound's place is past its end");
  c.Side(s.media.box.picture.Width(), gdi::kScreenWidth, "the video box's size");
  c.Side(s.media.box.picture.Height(), gdi::kScreenHeight, "the video box's size");
  for (const TimerSetting& timer : s.timers) {
    c.That(timer.interval <= 65535 && timer.due_in <= 65535, "a timer");
  }
  return c.ok;
}

std::string DateText(const LocalDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

// The text of the page on the screen: the window's lines up to the last
// one that holds text.
std::u16string PageText(const TextWindowState& text) {
  int last = text.LastLineIndex;
  while (last >= 0 && text.TextLines[static_cast<size_t>(last)].Text.empty()) --last;
  std::u16string page;
  for (int i = 0; i <= last; ++i) {
    if (i > 0) page += u'\n';
    page += text.TextLines[static_cast<size_t>(i)].Text;
  }
  return page;
}

}  // namespace

std::vector<ScenarioMark> ScenarioMarks(Engine& engine) {
  std::vector<ScenarioMark> marks;
  const Catalogue& catalogue = engine.catalogue;
  for (int i = 1; i <= catalogue.CatalogueCount(); ++i) {
    const ScenarioFile& file = catalogue.File(i);
    marks.push_back({file.name, HashLines(file.lines)});
  }
  return marks;
}

// The layout of a snapshot's state, beside the game state's own.
template <typename Io>
void Walk(Io& io, ScenarioMark& mark) {
  io(mark.name);
  io(mark.hash);
}

template <typename Io>
void Walk(Io& io, TimerSetting& timer) {
  io(timer.interval);
  io(timer.enabled);
  io(timer.due_in);
}

template <typename Io>
void Walk(Io& io, MediaSlotSnapshot& s) {
  io(s.open);
  io(s.file);
  io(s.is_cd);
  io(s.in_box);
  io(s.playing);
  io(s.repeat);
  io(s.stalled);
  io(s.position);
  io(s.given);
  io(s.length);
  Walk(io, s.video_length_us);
  io(s.pass_start);
  Walk(io, s.video_decoded_us);
  io(s.pictures);
  Walk(io, s.audio_end);
  Walk(io, s.ended);
  io(s.notified);
  Walk(io, s.empty_end);
  Walk(io, s.tracks);
  io(s.track_count);
  io(s.track);
  io(s.last_track);
  Walk(io, s.refused_tracks);
}

template <typename Io>
void Walk(Io& io, SoundSnapshot& s) {
  io(s.active);
  io(s.file);
  io(s.repeat);
  io(s.position);
  io(s.given);
  io(s.length);
  Walk(io, s.ended);
}

template <typename Io>
void Walk(Io& io, MediaSnapshot& s) {
  Walk(io, s.slots);
  Walk(io, s.sound);
  io(s.box.left);
  io(s.box.top);
  io(s.box.picture);
  io(s.box.visible);
  io(s.notification_due);
}

template <typename Io>
void Walk(Io& io, Snapshot& s) {
  Walk(io, s.scenarios);
  Walk(io, s.state);
  io(s.screen);
  Walk(io, s.timers);
  io(s.pointer.x);
  io(s.pointer.y);
  Walk(io, s.media);
  bool paused = s.pause_left.has_value();
  uint32_t left = s.pause_left.value_or(0);
  io(paused);
  io(left);
  s.pause_left = paused ? std::optional<uint32_t>(left) : std::nullopt;
  io(s.engine_time);
  // Added after the first snapshots were written: a snapshot that ends
  // before them has none (it was taken showing the game's own text).
  if constexpr (requires { io.AtEnd(); }) {
    if (io.AtEnd()) return;
  }
  WalkHeldText(io, s.state);
}

std::string SnapshotGameName(const std::vector<std::u16string>& scenario_names) {
  Fnv fnv;
  for (const std::u16string& name : scenario_names) {
    fnv.Add(name);
    fnv.Byte(0);
  }
  char name[40];
  std::snprintf(name, sizeof name, "scenarios-%016llx",
                static_cast<unsigned long long>(fnv.Value()));
  return name;
}

std::string SnapshotGameName(Engine& engine) {
  // The set of scenario names; the catalogue keeps them sorted.
  std::vector<std::u16string> names;
  const Catalogue& catalogue = engine.catalogue;
  for (int i = 1; i <= catalogue.CatalogueCount(); ++i) names.push_back(catalogue.File(i).name);
  return SnapshotGameName(names);
}

SnapshotFile SnapshotFileFor(Engine& engine, const Snapshot& snapshot) {
  SnapshotFile file;
  file.game = SnapshotGameName(engine);
  file.metadata.caption = snapshot.state.window.Caption;
  file.metadata.engine_time_ms = snapshot.engine_time;
  file.metadata.date = DateText(engine.host.LocalTime());
  file.metadata.page_text = PageText(snapshot.state.text);
  return file;
}

namespace {

// What a snapshot holds besides the copies of the state and the screen.
void TakeTheRest(Engine& engine, Snapshot& s) {
  Host& host = engine.host;
  for (int i = 0; i < kGameTimerCount; ++i)
    s.timers[static_cast<size_t>(i)] = host.GetTimer(static_cast<TimerId>(i));
  const std::filesystem::path& root = engine.files.GameRoot();
  const std::filesystem::path given = engine.options.game_folder.lexically_normal();
  ForEachMediaFile(s.media, [&](std::filesystem::path& file) {
    if (!file.empty()) file = InGame(file, {root, given});
  });
}

}  // namespace

Snapshot TakeSnapshot(Engine& engine, std::optional<uint32_t> pause_left) {
  Host& host = engine.host;
  // Built from copies of the state and the screen: a default snapshot would
  // first fill pictures of its own, megabytes of them, only to overwrite
  // them.
  Snapshot s{.scenarios = ScenarioMarks(engine),
             .state = engine.state,
             .screen = host.Screen(),
             .timers = {},
             .pointer = host.GetCursorPos(),
             .media = host.Media().Capture(),
             .pause_left = pause_left,
             .engine_time = host.TimeGetTime()};
  TakeTheRest(engine, s);
  return s;
}

void TakeSnapshotInto(Engine& engine, std::optional<uint32_t> pause_left, Snapshot& s) {
  Host& host = engine.host;
  s.scenarios = ScenarioMarks(engine);
  // Assigned over pictures of the same size, the copies reuse their memory.
  s.state = engine.state;
  s.screen = host.Screen();
  s.pointer = host.GetCursorPos();
  s.media = host.Media().Capture();
  s.pause_left = pause_left;
  s.engine_time = host.TimeGetTime();
  TakeTheRest(engine, s);
}

std::string EncodeSnapshotPayload(const Snapshot& snapshot, SurfaceShelf* shelf) {
  // The layout takes the snapshot by reference for the reader's sake; the
  // sizer and the writer only read it.
  Snapshot& s = const_cast<Snapshot&>(snapshot);
  StateWriter writer(shelf);
  if (!shelf) {
    StateSizer sizer;
    Walk(sizer, s);
    writer.bytes.reserve(sizer.bytes);
  }
  Walk(writer, s);
  return std::move(writer.bytes);
}

bool DecodeSnapshotPayload(std::string_view bytes, Snapshot* snapshot, std::string* why,
                           SurfaceShelf* shelf) {
  StateReader reader(bytes, shelf);
  Snapshot read;
  try {
    Walk(reader, read);
    if (!reader.AtEnd()) reader.Fail("bytes are left after the state");
  } catch (const StateReadError& error) {
    *why = error.what;
    return false;
  }
  if (!Check(read, why)) return false;
  *snapshot = std::move(read);
  return true;
}

bool DecodeSnapshotPayloadOver(std::string_view bytes, Snapshot& snapshot, std::string* why,
                               SurfaceShelf& shelf) {
  StateReader reader(bytes, &shelf);
  try {
    Walk(reader, snapshot);
    if (!reader.AtEnd()) reader.Fail("bytes are left after the state");
  } catch (const StateReadError& error) {
    *why = error.what;
    return false;
  }
  return Check(snapshot, why);
}

std::u16string CheckSnapshot(Engine& engine, const Snapshot& snapshot,
                             std::vector<std::u16string>* changed) {
  const std::vector<ScenarioMark> now = ScenarioMarks(engine);
  bool same_names = now.size() == snapshot.scenarios.size();
  for (size_t i = 0; same_names && i < now.size(); ++i) {
    same_names = now[i].name == snapshot.scenarios[i].name;
    if (same_names && now[i].hash != snapshot.scenarios[i].hash) changed->push_back(now[i].name);
  }
  if (!same_names) return u"別のゲームのスナップショットです";
  // Every picture the state names must still be there to be loaded again.
  std::vector<std::u16string> pictures;
  const GameState& g = snapshot.state;
  if (!g.text.WindowPicture.Name.empty()) pictures.push_back(g.text.WindowPicture.Name);
  for (const std::u16string* name : {&g.text.TclMarkerName, &g.text.ClkMarkerName}) {
    if (!name->empty()) pictures.push_back(*name);
  }
  for (const ButtonState& b : g.buttons.Buttons) {
    pictures.push_back(b.Normal);
    pictures.push_back(b.Pressed);
    if (!b.HitMap.empty()) pictures.push_back(b.HitMap);
  }
  for (const std::u16string& name : pictures) {
    if (!engine.files.PictureFileExists(name)) {
      // In the words the engine uses for a missing picture.
      return u"「" + engine.settings.ScenarioFolder + name + u"」という名前の\r\n" +
             std::u16string(messages::kNoPictureFile);
    }
  }
  if (!g.cursor.Picture.empty() && !engine.files.MediaFileExists(g.cursor.Picture, u"cur")) {
    return u"ファイル「" + engine.settings.ScenarioFolder + g.cursor.Picture +
           u"」は存在しません。";
  }
  return u"";
}

void ApplySnapshot(Engine& engine, const Snapshot& snapshot, HeldInput held) {
  Host& host = engine.host;
  const InputState now = engine.state.input;
  engine.state = snapshot.state;
  if (held == HeldInput::kAsNow) {
    InputState& input = engine.state.input;
    input.LeftHeld = now.LeftHeld;
    input.RightHeld = now.RightHeld;
    input.EnterHeld = now.EnterHeld;
    input.SpaceHeld = now.SpaceHeld;
  }
  engine.RebuildCaches();
  host.Screen() = snapshot.screen;
  for (int i = 0; i < kGameTimerCount; ++i) {
    host.RestoreTimer(static_cast<TimerId>(i), snapshot.timers[static_cast<size_t>(i)]);
  }
  host.RestoreCursorPos(snapshot.pointer);
  MediaSnapshot media = snapshot.media;
  const std::filesystem::path& root = engine.files.GameRoot();
  ForEachMediaFile(media, [&](std::filesystem::path& file) {
    if (!file.empty()) file = root / file;
  });
  host.Media().Restore(media);
  host.SetCaption(engine.ShownCaption(snapshot.state.window.Caption));
  host.Refresh();
}

void ResumeAfterSnapshot(Engine& engine, const Snapshot& snapshot) {
  if (!snapshot.pause_left) return;
  engine.text.WaitMilliseconds(static_cast<int32_t>(*snapshot.pause_left));
  engine.script.RunScript();
}

}  // namespace tsumugi
