#include "engine/player/player_layer.h"

#include <algorithm>
#include <cstdint>
#include <utility>


#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "engine/player/words.h"
#include "engine/snapshot/snapshot_file.h"
#include "engine/state/snapshot.h"

namespace tsumugi {

namespace {

constexpr char kQuickSaveName[] = "quicksave.png";
constexpr char kReadMarksName[] = "readmarks.dat";
constexpr char kAutoSaveName[] = "autosave.png";

std::u16string ProblemText(SnapshotProblem problem) {
  switch (problem) {
    case SnapshotProblem::kEmpty:
      return Words("ファイルが空です");
    case SnapshotProblem::kTooLarge:
      return Words("ファイルが大きすぎます");
    case SnapshotProblem::kNotASnapshot:
      return Words("スナップショットではありません");
    case SnapshotProblem::kNewerVersion:
      return Words("新しい版のTsumugiで作られたスナップショットです");
    case SnapshotProblem::kOtherGame:
      return Words("別のゲームのスナップショットです");
    case SnapshotProblem::kTruncated:
      return Words("ファイルが途中で切れています");
    case SnapshotProblem::kDamaged:
      return Words("ファイルが壊れています");
    default:
      return Words("ファイルを読み込めません");
  }
}

}  // namespace

PlayerLayer::~PlayerLayer() {
  // The host must not keep showing a picture that is about to go.
  if (note_shown_ || texts_.Open() || !screens_.empty()) e_.host.SetOverlay(nullptr, {});
}

std::filesystem::path PlayerLayer::DataFolder() const {
  if (e_.options.save_dir) return *e_.options.save_dir;
  return e_.host.Storage().DataFolder(e_.options.game_folder);
}

std::filesystem::path PlayerLayer::QuickSavePath() const {
  return DataFolder() / kQuickSaveName;
}

std::filesystem::path PlayerLayer::AutoSavePath() const {
  return DataFolder() / kAutoSaveName;
}

std::filesystem::path PlayerLayer::ReadMarksPath() const {
  return DataFolder() / kReadMarksName;
}

// --- Keys and waits ---------------------------------------------------------------------

namespace {

// The keys no game uses, which are the player's.
bool PlayersKey(KeyCode key) {
  switch (key) {
    case KeyCode::kF1:
    case KeyCode::kF5:
    case KeyCode::kF9:
    case KeyCode::kCtrl:
    case KeyCode::kTab:
    case KeyCode::kA:
    case KeyCode::kL:
    case KeyCode::kPageUp:
    case KeyCode::kPageDown:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool PlayerLayer::KeyDown(KeyCode key) {
  escape_taken_ = false;
  if (!screens_.empty()) {
    ScreenKey(key);
    return true;
  }
  if (texts_.Open()) {
    // The history takes every key while it is open.
    const int page = TextHistory::RowsShown();
    if (key == KeyCode::kL || key == KeyCode::kEscape) {
      escape_taken_ = key == KeyCode::kEscape;
      CloseHistory();
    } else if (key == KeyCode::kUp || key == KeyCode::kDown || key == KeyCode::kPageUp ||
               key == KeyCode::kPageDown) {
      const int rows = key == KeyCode::kUp ? 1 : key == KeyCode::kDown ? -1
                       : key == KeyCode::kPageUp ? page : -page;
      if (texts_.Scroll(rows)) DrawHistory();
    }
    return true;
  }
  // Any key but their own ends auto mode and skip mode; Ctrl skips beside
  // them.
  if (auto_ && key != KeyCode::kA && key != KeyCode::kCtrl) SwitchAuto(false);
  if (skip_mode_ && key != KeyCode::kTab && key != KeyCode::kCtrl) SwitchSkip(false);
  switch (key) {
    case KeyCode::kA:
      SwitchAuto(!auto_);
      break;
    case KeyCode::kTab:
      SwitchSkip(!skip_mode_);
      break;
    case KeyCode::kCtrl:
      if (!ctrl_held_) {
        ctrl_held_ = true;
        UpdatePace();
      }
      break;
    case KeyCode::kL:
      OpenHistory();
      break;
    case KeyCode::kF1:
      OpenMenu();
      break;
    case KeyCode::kF5:
      SaveKey(QuickSavePath());
      break;
    case KeyCode::kF9:
      LoadKey(QuickSavePath());
      break;
    case KeyCode::kPageUp:
      Step(1);
      break;
    case KeyCode::kPageDown:
      Step(-1);
      break;
    default:
      break;
  }
  return PlayersKey(key);
}

bool PlayerLayer::KeyUp(KeyCode key) {
  if (key == KeyCode::kCtrl && ctrl_held_) {
    ctrl_held_ = false;
    UpdatePace();
  }
  return PlayersKey(key);
}

void PlayerLayer::Wheel(int notches) {
  if (!screens_.empty()) {
    screens_.back().list.Move(-notches);
    DrawScreens();
    return;
  }
  if (texts_.Open()) {
    if (texts_.Scroll(3 * notches)) DrawHistory();
    return;
  }
  if (auto_) SwitchAuto(false);
  if (skip_mode_) SwitchSkip(false);
  Step(notches);
}

bool PlayerLayer::MouseDown(MouseButton button, int x, int y) {
  if (!screens_.empty()) {
    buttons_taken_ |= static_cast<int>(button);
    ScreenPress(button, x, y);
    return true;
  }
  if (texts_.Open()) {
    buttons_taken_ |= static_cast<int>(button);
    if (button == MouseButton::kRight) CloseHistory();
    return true;
  }
  if (button != MouseButton::kMiddle) return false;
  buttons_taken_ |= static_cast<int>(button);
  OpenMenu();
  return true;
}

bool PlayerLayer::MouseUp(MouseButton button) {
  if ((buttons_taken_ & static_cast<int>(button)) == 0) return false;
  buttons_taken_ &= ~static_cast<int>(button);
  return true;
}

bool PlayerLayer::KeyPress(int character) {
  if (texts_.Open() || !screens_.empty()) return true;
  return character == 27 && std::exchange(escape_taken_, false);
}

void PlayerLayer::GameInput() {
  acted_ = true;
  if (answering_) return;
  if (auto_) SwitchAuto(false);
  if (skip_mode_) SwitchSkip(false);
}

// --- Auto mode -----------------------------------------------------------------------------

namespace {

bool AtClickWait(RunStateKind state) {
  return state == RunStateKind::kWaitTextClick || state == RunStateKind::kWaitTextClickOrRight ||
         state == RunStateKind::kWaitClick || state == RunStateKind::kWaitClickOrRight;
}

}  // namespace

void PlayerLayer::SwitchAuto(bool on) {
  auto_ = on;
  ShowNote(on ? Words("オートモード") : Words("オートモード終了"));
  ArmAnswer();
}

void PlayerLayer::SwitchSkip(bool on) {
  if (skip_mode_ == on) return;
  skip_mode_ = on;
  ShowNote(on ? Words("スキップ") : Words("スキップ終了"));
  UpdatePace();
}

void PlayerLayer::UpdatePace() {
  e_.pace.skipping = ctrl_held_ || skip_mode_;
  ArmAnswer();
}

void PlayerLayer::NoteWait() {
  const uint64_t lines = e_.script.LinesRead();
  if (lines == wait_lines_) return;
  // A new wait: it starts now, after the text typed since the last one.
  wait_lines_ = lines;
  wait_start_ = e_.host.TimeGetTime();
  const uint64_t typed = e_.text.CharsTyped();
  wait_chars_ = typed - std::exchange(chars_before_, typed);
  wait_unread_ = std::exchange(page_unread_, false);
  texts_.NewPage();
}

bool PlayerLayer::Answerable() const {
  // Ctrl held passes a video as a click does.
  const RunStateKind state = e_.state.input.RunState;
  return AtClickWait(state) || (ctrl_held_ && state == RunStateKind::kPlayingVideo);
}

void PlayerLayer::ArmAnswer() {
  if (!e_.AtEventLoop()) return;
  NoteWait();
  const uint64_t lines = e_.script.LinesRead();
  // Skip mode ends at a menu, at buttons and at text never read before.
  if (skip_mode_ && AtPlayerWait() &&
      (!AtClickWait(e_.state.input.RunState) || wait_unread_)) {
    SwitchSkip(false);
    return;
  }
  uint64_t delay = 0;
  if (!Answerable()) {
    e_.host.EnableTimer(TimerId::kAnswer, false);
    answer_wait_.reset();
    return;
  }
  if (e_.pace.skipping) {
    delay = 1;
  } else if (auto_) {
    // Counted from the start of the wait, also when auto mode began later.
    const uint64_t whole =
        auto_base_ms + auto_per_char_ms * std::min<uint64_t>(wait_chars_, 100000);
    const uint64_t waited = static_cast<uint32_t>(e_.host.TimeGetTime() - wait_start_);
    delay = whole > waited ? whole - waited : 1;
  } else {
    e_.host.EnableTimer(TimerId::kAnswer, false);
    answer_wait_.reset();
    return;
  }
  answer_wait_ = lines;
  e_.host.SetTimerInterval(TimerId::kAnswer,
                           static_cast<uint32_t>(std::min<uint64_t>(delay, INT32_MAX)));
  e_.host.EnableTimer(TimerId::kAnswer, true);
}

void PlayerLayer::AnswerTimer() {
  e_.host.EnableTimer(TimerId::kAnswer, false);
  // Only the wait it was set for, and only at the event loop.
  // Not while the player reads the history or the menu.
  if (!(auto_ || e_.pace.skipping) || texts_.Open() || !screens_.empty() || !e_.AtEventLoop() ||
      !Answerable() ||
      answer_wait_ != e_.script.LinesRead()) {
    return;
  }
  // Answered as the player answers it: a click where the pointer is.
  const Point at = e_.host.GetCursorPos();
  answering_ = true;
  e_.form.MouseDown(MouseButton::kLeft, 0, at.x, at.y);
  e_.form.MouseUp(MouseButton::kLeft, 0, at.x, at.y);
  answering_ = false;
}

// --- Read marks ----------------------------------------------------------------------------

ReadMarks& PlayerLayer::Marks() {
  if (marks_ready_) return marks_;
  marks_ready_ = true;
  std::vector<uint64_t> hashes;
  for (const ScenarioMark& mark : ScenarioMarks(e_)) hashes.push_back(mark.hash);
  marks_.SetScenarios(hashes);
  std::string why;
  if (e_.options.keep_player_files && !marks_.Load(ReadMarksPath(), &why)) {
    e_.host.Diagnostic(PathToUtf8(ReadMarksPath()) + ": " + why +
                       "; the text read so far is counted afresh");
  }
  return marks_;
}

void PlayerLayer::TextBegins(int file, int line_number) {
  if (!Marks().Mark(file, line_number)) return;
  // The first line never read: skip mode ends before it is typed.
  page_unread_ = true;
  if (skip_mode_) SwitchSkip(false);
}

void PlayerLayer::TextShown(int, int, std::u16string_view text) { texts_.AddLine(text); }

void PlayerLayer::ChoiceTaken(std::u16string_view text) { texts_.AddChoice(text); }

// --- The text history -----------------------------------------------------------------------

void PlayerLayer::OpenHistory() {
  HideNote();
  texts_.Show(e_.host.ShownScreen());
  DrawHistory();
}

void PlayerLayer::DrawHistory() {
  auto font = e_.fonts.GetFont({.face = u"ＭＳ ゴシック", .height = 16});
  e_.host.SetOverlay(&texts_.Draw(*font), {0, 0});
}

void PlayerLayer::CloseHistory() {
  e_.host.SetOverlay(nullptr, {});
  texts_.Close();
}

void PlayerLayer::Finish() {
  if (!marks_ready_ || !e_.options.keep_player_files) return;
  std::string why;
  if (!marks_.Save(ReadMarksPath(), &why)) {
    e_.host.Diagnostic(PathToUtf8(ReadMarksPath()) + ": the read marks were not kept: " + why);
  }
}

void PlayerLayer::SaveKey(const std::filesystem::path& path) {
  if (e_.AtEventLoop()) {
    SaveTo(path, std::nullopt);
  } else if (pause_end_ && e_.script.Depth() == 1) {
    const int32_t left = static_cast<int32_t>(*pause_end_ - e_.host.TimeGetTime());
    SaveTo(path, static_cast<uint32_t>(std::max(left, 0)));
  } else {
    save_pending_ = path;
  }
}

void PlayerLayer::LoadKey(const std::filesystem::path& path) {
  if (e_.AtEventLoop()) {
    LoadFrom(path);
  } else {
    load_pending_ = path;
  }
}

void PlayerLayer::AtWait() {
  KeepPoint(false);
  ArmAnswer();
  if (snapshot_points) snapshot_points(std::nullopt);
  if (save_pending_) SaveTo(*std::exchange(save_pending_, std::nullopt), std::nullopt);
  if (load_pending_) LoadFrom(*std::exchange(load_pending_, std::nullopt));
  if (pending_steps_ != 0) {
    const int steps = std::exchange(pending_steps_, 0);
    StepNow(steps);
  }
}

// --- Going back and forward ----------------------------------------------------------------

bool PlayerLayer::AtPlayerWait() const {
  switch (e_.state.input.RunState) {
    case RunStateKind::kWaitTextClick:
    case RunStateKind::kWaitTextClickOrRight:
    case RunStateKind::kWaitClick:
    case RunStateKind::kWaitClickOrRight:
    case RunStateKind::kWaitChoice:
      return true;
    case RunStateKind::kRunning:
      return e_.state.buttons.AnyShown();
    default:
      return false;
  }
}

bool PlayerLayer::LeftPoint() const {
  return acted_ && e_.script.LinesRead() != lines_at_point_;
}

void PlayerLayer::KeepPoint(bool first) {
  if (!e_.options.keep_waits || !e_.AtEventLoop() || !AtPlayerWait()) return;
  if (!first && rollback_.Count() != 0 && !LeftPoint()) return;
  rollback_.Arrive(TakeSnapshot(e_, std::nullopt));
  lines_at_point_ = e_.script.LinesRead();
  acted_ = false;
}

void PlayerLayer::Step(int steps) {
  if (e_.AtEventLoop()) {
    StepNow(steps);
  } else {
    // Typing, a transition or a video: the steps are taken at the wait
    // that follows.
    pending_steps_ += steps;
  }
}

void PlayerLayer::StepNow(int steps) {
  // Only the last snapshot is unpacked: the ones passed on the way are
  // skipped over.
  const size_t from = rollback_.Position();
  size_t to = from;
  const bool at_point = !LeftPoint();
  if (steps > 0) {
    const size_t back = static_cast<size_t>(steps) - (at_point ? 0 : 1);
    to = from - std::min(from, back);
  } else if (steps < 0 && at_point) {
    to = std::min(from + static_cast<size_t>(-static_cast<int64_t>(steps)),
                  rollback_.Count() == 0 ? 0 : rollback_.Count() - 1);
  }
  if (rollback_.Count() == 0 || (to == from && (at_point || steps <= 0))) return;
  const Snapshot* snapshot = rollback_.MoveTo(to);
  if (!snapshot) {
    // A kept wait that cannot be read back is a fault of ours; the game
    // goes on where it is.
    e_.host.Diagnostic("going back: a kept wait could not be read back");
    rollback_.Clear();
    return;
  }
  save_pending_.reset();
  HideNote();
  ApplySnapshot(e_, *snapshot, HeldInput::kAsNow);
  ResumeAfterSnapshot(e_, *snapshot);
  lines_at_point_ = e_.script.LinesRead();
  acted_ = false;
  page_unread_ = false;
}

void PlayerLayer::PauseBegins(uint32_t end) {
  pause_end_ = end;
  if (snapshot_points) {
    const int32_t left = static_cast<int32_t>(end - e_.host.TimeGetTime());
    snapshot_points(static_cast<uint32_t>(std::max(left, 0)));
  }
  if (save_pending_) {
    const int32_t left = static_cast<int32_t>(end - e_.host.TimeGetTime());
    SaveTo(*std::exchange(save_pending_, std::nullopt), static_cast<uint32_t>(std::max(left, 0)));
  }
}

// --- Quick save and load ------------------------------------------------------------------

bool PlayerLayer::WriteSnapshot(const std::filesystem::path& path,
                                std::optional<uint32_t> pause_left, std::string* error) {
  const Snapshot snapshot = TakeSnapshot(e_, pause_left);
  SnapshotFile file = SnapshotFileFor(e_, snapshot);
  // The thumbnail is what the player sees of the game, without a note or
  // a screen of ours.
  HideNote();
  if (texts_.Open()) CloseHistory();
  CloseScreens();
  file.thumbnail = MakeThumbnail(e_.host.ShownScreen());
  file.payload = EncodeSnapshotPayload(snapshot);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  return WriteSnapshotFile(path, file, error);
}

void PlayerLayer::SaveTo(const std::filesystem::path& path, std::optional<uint32_t> pause_left) {
  std::string error;
  if (!WriteSnapshot(path, pause_left, &error)) {
    // The old quick save is as it was; the game goes on.
    e_.host.MessageBoxOk(Words("スナップショット「{}」に書き込めませんでした",
                               Utf8ToUtf16(PathToUtf8(path))) +
                         u"\r\n" + Utf8ToUtf16(error));
    return;
  }
  ShowNote(Words("保存しました"));
}

void PlayerLayer::LoadFrom(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    ShowNote(Words("クイックセーブがありません"));
    return;
  }
  if (LoadSnapshot(path, false)) CloseScreens();
}

bool PlayerLayer::LoadSnapshot(const std::filesystem::path& path, bool quiet) {
  Host& host = e_.host;
  const std::u16string unread =
      Words("スナップショット「{}」を読み込めませんでした", Utf8ToUtf16(PathToUtf8(path)));
  const auto refuse = [&](const std::string& detail, const std::u16string& problem) {
    if (!detail.empty()) host.Diagnostic(PathToUtf8(path) + ": " + detail);
    if (quiet) {
      host.Diagnostic(PathToUtf8(path) + ": " + Utf16ToUtf8(problem) +
                      "; the game starts from its beginning");
    } else {
      host.MessageBoxOk(unread + u"\r\n" + problem);
    }
    return false;
  };
  SnapshotReadResult read = ReadSnapshotFile(path, SnapshotGameName(e_));
  if (read.problem != SnapshotProblem::kNone) return refuse(read.detail, ProblemText(read.problem));
  Snapshot snapshot;
  std::string why;
  if (!DecodeSnapshotPayload(read.file.payload, &snapshot, &why)) {
    return refuse(why, ProblemText(SnapshotProblem::kDamaged));
  }
  std::vector<std::u16string> changed;
  const std::u16string problem = CheckSnapshot(e_, snapshot, &changed);
  if (!problem.empty()) return refuse("", problem);
  for (const std::u16string& name : changed) {
    host.Diagnostic("the scenario " + Utf16ToUtf8(name) +
                    " has changed since the snapshot was taken; going on at its recorded line");
  }
  save_pending_.reset();
  load_pending_.reset();
  pending_steps_ = 0;
  pause_end_.reset();
  HideNote();
  ApplySnapshot(e_, snapshot, HeldInput::kAsNow);
  ResumeAfterSnapshot(e_, snapshot);
  // Going back stops at the wait loaded.
  rollback_.Clear();
  KeepPoint(true);
  return true;
}

// --- The automatic save ------------------------------------------------------------------

void PlayerLayer::Quitting() {
  if (!e_.options.keep_player_files) return;
  std::optional<uint32_t> pause_left;
  if (pause_end_ && e_.script.Depth() == 1) {
    const int32_t left = static_cast<int32_t>(*pause_end_ - e_.host.TimeGetTime());
    pause_left = static_cast<uint32_t>(std::max(left, 0));
  } else if (!e_.AtEventLoop()) {
    // Mid-way through a line (typing, a transition): the automatic save
    // left by the last quit stays.
    return;
  }
  std::string error;
  if (!WriteSnapshot(AutoSavePath(), pause_left, &error)) {
    e_.host.Diagnostic("the automatic save was not written: " + error);
  }
}

bool PlayerLayer::Resume() {
  const std::filesystem::path path = AutoSavePath();
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    e_.host.Diagnostic(PathToUtf8(path) +
                       ": there is no automatic save; the game starts from its beginning");
    return false;
  }
  return LoadSnapshot(path, true);
}

// --- The note ------------------------------------------------------------------------------

void PlayerLayer::ShowNote(const std::u16string& text) {
  // A screen of the layer covers the game: no note over it.
  if (texts_.Open() || !screens_.empty()) return;
  auto font = e_.fonts.GetFont({.face = u"ＭＳ ゴシック", .height = 16});
  const Size extent = font->Extent(text, 0);
  constexpr int kPad = 8;
  note_ = gdi::Surface(extent.width + 2 * kPad, extent.height + 2 * kPad, 0x302828);
  note_.Fill(0, 0, note_.Width(), 1, 0x909090);
  note_.Fill(0, note_.Height() - 1, note_.Width(), 1, 0x909090);
  note_.Fill(0, 0, 1, note_.Height(), 0x909090);
  note_.Fill(note_.Width() - 1, 0, 1, note_.Height(), 0x909090);
  font->Draw(note_, kPad, kPad, text, gdi::kWhite, 0);
  Host& host = e_.host;
  host.SetOverlay(&note_, {gdi::kScreenWidth - note_.Width() - kPad, kPad});
  note_shown_ = true;
  host.SetTimerInterval(TimerId::kNote, kNoteMilliseconds);
  host.EnableTimer(TimerId::kNote, true);
}

void PlayerLayer::HideNote() {
  if (!note_shown_) return;
  note_shown_ = false;
  e_.host.EnableTimer(TimerId::kNote, false);
  e_.host.SetOverlay(nullptr, {});
}

void PlayerLayer::NoteTimer() {
  HideNote();
}

}  // namespace tsumugi
