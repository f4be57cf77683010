// The player's menu (F1, the middle button) and its screens: save and load
// slots, the question before a slot is overwritten, the settings and the
// keys. Everything here is the player's: the game hears none of the
// presses, and a save or a load asked for while the script runs is done at
// the next wait.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "engine/player/player_layer.h"
#include "engine/player/words.h"
#include "engine/snapshot/snapshot_file.h"
#include "engine/state/snapshot.h"

namespace tsumugi {

namespace {

enum MenuTag { kContinue = 1, kSave, kLoad, kSettings, kHistory, kHelp, kQuit };
enum SettingTag { kTextSpeed = 1, kAutoBase, kAutoPerChar, kMusic, kSound, kMovie };
constexpr int kBack = 99;
constexpr int kYes = 1;
constexpr int kNo = 2;

constexpr std::array<double, 9> kTextSpeeds = {0.25, 0.5, 0.75, 1, 1.5, 2, 3, 5, 10};

ListItem Line(std::u16string text, int tag, std::u16string detail = {}) {
  ListItem item;
  item.text = std::move(text);
  item.detail = std::move(detail);
  item.tag = tag;
  return item;
}

std::u16string Number(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return Utf8ToUtf16(text);
}

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

}  // namespace

void PlayerLayer::UseSettings(const PlayerSettings& settings,
                              std::optional<std::filesystem::path> file) {
  settings_ = settings;
  settings_file_ = std::move(file);
  ApplyPlayerSettings(settings_, e_);
}

std::filesystem::path PlayerLayer::SlotPath(int slot) const {
  char name[16];
  std::snprintf(name, sizeof name, "slot%02d.png", slot);
  return DataFolder() / name;
}

// --- Opening, closing, drawing -------------------------------------------------------------

void PlayerLayer::OpenMenu() {
  if (texts_.Open() || !screens_.empty()) return;
  if (auto_) SwitchAuto(false);
  if (skip_mode_) SwitchSkip(false);
  HideNote();
  screens_dimmed_ = Dimmed(e_.host.ShownScreen());
  OpenScreen(ScreenKind::kMenu);
}

void PlayerLayer::OpenScreen(ScreenKind kind, int slot) {
  screens_.push_back({kind, MakeScreen(kind, slot), slot});
  DrawScreens();
}

void PlayerLayer::BackScreen() {
  if (screens_.empty()) return;
  screens_.pop_back();
  if (screens_.empty()) {
    CloseScreens();
  } else {
    DrawScreens();
  }
}

void PlayerLayer::CloseScreens() {
  if (screens_.empty()) return;
  screens_.clear();
  screens_dimmed_ = gdi::Surface();
  screens_drawn_ = gdi::Surface();
  e_.host.SetOverlay(nullptr, {});
  // A click wait auto mode or skipping answers is answered again.
  ArmAnswer();
}

void PlayerLayer::DrawScreens() {
  auto font = e_.fonts.GetFont({.face = u"ＭＳ ゴシック", .height = 16});
  screens_.back().list.Draw(screens_drawn_, screens_dimmed_, *font);
  e_.host.SetOverlay(&screens_drawn_, {0, 0});
}

ListScreen PlayerLayer::MakeScreen(ScreenKind kind, int slot) const {
  switch (kind) {
    case ScreenKind::kMenu: {
      std::vector<ListItem> items;
      // Just after the start, the way back into the game the last quit left.
      if (rollback_.Count() <= 1 && Exists(AutoSavePath())) {
        items.push_back(Line(Words("続きから"), kContinue));
      }
      items.push_back(Line(Words("セーブ"), kSave));
      items.push_back(Line(Words("ロード"), kLoad));
      items.push_back(Line(Words("設定"), kSettings));
      items.push_back(Line(Words("履歴"), kHistory));
      items.push_back(Line(Words("キー操作"), kHelp));
      items.push_back(Line(Words("終了"), kQuit));
      return ListScreen(Words("メニュー"), std::move(items));
    }
    case ScreenKind::kSave:
      return ListScreen(Words("セーブ"), SlotItems(true), ListScreen::Layout::kSlots);
    case ScreenKind::kLoad:
      return ListScreen(Words("ロード"), SlotItems(false), ListScreen::Layout::kSlots);
    case ScreenKind::kOverwrite: {
      ListScreen question(Words("スロット{}に上書きしますか？", Utf8ToUtf16(std::to_string(slot))),
                          {Line(Words("はい"), kYes), Line(Words("いいえ"), kNo)});
      // The safe answer is the one Enter gives.
      question.selected = 1;
      return question;
    }
    case ScreenKind::kSettings:
      return ListScreen(Words("設定（←→で変える）"), SettingItems());
    case ScreenKind::kHelp: {
      const std::array<std::pair<const char*, const char*>, 12> keys = {{
          {WordsLater("左ボタン、Enter"), WordsLater("先へ進む")},
          {WordsLater("右ボタン、Space"), WordsLater("押している間は早送り")},
          {WordsLater("ホイール上、PageUp"), WordsLater("前の待ちに戻る")},
          {WordsLater("ホイール下、PageDown"), WordsLater("次の待ちへ進む")},
          {"Ctrl", WordsLater("押している間はスキップ")},
          {"Tab", WordsLater("既読の文章をスキップ")},
          {"A", WordsLater("オートモード")},
          {"L", WordsLater("履歴")},
          {WordsLater("F1、中ボタン"), WordsLater("メニュー")},
          {WordsLater("F5、F9"), WordsLater("クイックセーブ、クイックロード")},
          {WordsLater("F4、Alt+Enter"), WordsLater("ウィンドウと全画面")},
          {"Escape", WordsLater("終了（自動セーブ）")},
      }};
      std::vector<ListItem> items;
      for (const auto& [key, meaning] : keys) {
        ListItem item = Line(Words(key), 0, Words(meaning));
        item.enabled = false;
        item.info = true;
        items.push_back(std::move(item));
      }
      items.push_back(Line(Words("戻る"), kBack));
      return ListScreen(Words("キー操作"), std::move(items));
    }
  }
  return {};
}

std::vector<ListItem> PlayerLayer::SlotItems(bool saving) const {
  std::vector<ListItem> items;
  const std::string game = SnapshotGameName(e_);
  for (int slot = 1; slot <= kSlots; ++slot) {
    ListItem item = Line(Words("スロット{}", Utf8ToUtf16(std::to_string(slot))), slot);
    const std::filesystem::path path = SlotPath(slot);
    if (!Exists(path)) {
      item.detail = Words("空き");
      item.enabled = saving;
    } else if (SnapshotReadResult read = ReadSnapshotFile(path, game);
               read.problem != SnapshotProblem::kNone) {
      // A damaged slot may be saved over, never loaded.
      item.detail = Words("読み込めません");
      item.enabled = saving;
    } else {
      std::u16string date = Utf8ToUtf16(read.file.metadata.date);
      if (date.size() >= 16) date = date.substr(0, 10) + u" " + date.substr(11, 5);
      item.detail = date;
      const std::u16string& page = read.file.metadata.page_text;
      item.more = page.substr(0, page.find(u'\n'));
      item.thumbnail = std::move(read.file.thumbnail);
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<ListItem> PlayerLayer::SettingItems() const {
  const PlayerSettings& s = settings_;
  return {
      Line(Words("文字の速さ"), kTextSpeed, Number(s.text_speed, "x%.2g")),
      Line(Words("オートモードの待ち"), kAutoBase, Number(s.auto_base_ms, "%.0f ms")),
      Line(Words("一文字ごとの待ち"), kAutoPerChar, Number(s.auto_per_char_ms, "%.0f ms")),
      Line(Words("音楽の音量"), kMusic, Number(s.volumes.music, "%.0f%%")),
      Line(Words("効果音の音量"), kSound, Number(s.volumes.sound, "%.0f%%")),
      Line(Words("ムービーの音量"), kMovie, Number(s.volumes.movie, "%.0f%%")),
      Line(Words("戻る"), kBack),
  };
}

// --- Input -------------------------------------------------------------------------------

void PlayerLayer::ScreenKey(KeyCode key) {
  ListScreen& list = screens_.back().list;
  switch (key) {
    case KeyCode::kUp:
      list.Move(-1);
      break;
    case KeyCode::kDown:
      list.Move(1);
      break;
    case KeyCode::kLeft:
    case KeyCode::kRight:
      if (screens_.back().kind == ScreenKind::kSettings) {
        ChangeSetting(list.items[static_cast<size_t>(list.selected)].tag,
                      key == KeyCode::kRight ? 1 : -1);
      }
      break;
    case KeyCode::kEnter:
    case KeyCode::kSpace:
      ScreenPick();
      return;
    case KeyCode::kEscape:
      // The character Escape types must not end the game.
      escape_taken_ = true;
      BackScreen();
      return;
    case KeyCode::kF1:
      CloseScreens();
      return;
    default:
      return;
  }
  DrawScreens();
}

void PlayerLayer::ScreenPress(MouseButton button, int x, int y) {
  if (button == MouseButton::kRight) {
    BackScreen();
  } else if (button == MouseButton::kMiddle) {
    CloseScreens();
  } else {
    ListScreen& list = screens_.back().list;
    const int hit = list.HitTest(x, y);
    if (hit < 0 || !list.items[static_cast<size_t>(hit)].enabled) return;
    list.Select(hit);
    ScreenPick();
  }
}

void PlayerLayer::ScreenPick() {
  const Screen& top = screens_.back();
  if (top.list.items.empty()) return;
  const ListItem& item = top.list.items[static_cast<size_t>(top.list.selected)];
  if (!item.enabled) return;
  const int tag = item.tag;
  switch (top.kind) {
    case ScreenKind::kMenu:
      switch (tag) {
        case kContinue:
          CloseScreens();
          LoadKey(AutoSavePath());
          break;
        case kSave:
          OpenScreen(ScreenKind::kSave);
          break;
        case kLoad:
          OpenScreen(ScreenKind::kLoad);
          break;
        case kSettings:
          OpenScreen(ScreenKind::kSettings);
          break;
        case kHistory:
          CloseScreens();
          OpenHistory();
          break;
        case kHelp:
          OpenScreen(ScreenKind::kHelp);
          break;
        case kQuit:
          Quitting();
          e_.form.EndEngine(ExitStatus::kNormal);
          break;
        default:
          break;
      }
      return;
    case ScreenKind::kSave:
      if (Exists(SlotPath(tag))) {
        OpenScreen(ScreenKind::kOverwrite, tag);
      } else {
        CloseScreens();
        SaveKey(SlotPath(tag));
      }
      return;
    case ScreenKind::kOverwrite:
      if (tag == kYes) {
        const int slot = top.slot;
        CloseScreens();
        SaveKey(SlotPath(slot));
      } else {
        BackScreen();
      }
      return;
    case ScreenKind::kLoad:
      CloseScreens();
      LoadKey(SlotPath(tag));
      return;
    case ScreenKind::kSettings:
      if (tag == kBack) {
        BackScreen();
      } else {
        ChangeSetting(tag, 1);
        DrawScreens();
      }
      return;
    case ScreenKind::kHelp:
      BackScreen();
      return;
  }
}

void PlayerLayer::ChangeSetting(int tag, int direction) {
  PlayerSettings& s = settings_;
  const auto step = [direction](auto value, auto by, auto most) {
    using T = decltype(value);
    const int64_t next = int64_t{value} + int64_t{by} * direction;
    return static_cast<T>(std::clamp<int64_t>(next, 0, most));
  };
  switch (tag) {
    case kTextSpeed: {
      // The next speed of the list, up or down from where it stands.
      double next = s.text_speed;
      if (direction > 0) {
        auto it = std::upper_bound(kTextSpeeds.begin(), kTextSpeeds.end(), s.text_speed);
        if (it != kTextSpeeds.end()) next = *it;
      } else {
        auto it = std::lower_bound(kTextSpeeds.begin(), kTextSpeeds.end(), s.text_speed);
        if (it != kTextSpeeds.begin()) next = *(it - 1);
      }
      s.text_speed = next;
      break;
    }
    case kAutoBase:
      s.auto_base_ms = step(s.auto_base_ms, 100, 60000);
      break;
    case kAutoPerChar:
      s.auto_per_char_ms = step(s.auto_per_char_ms, 10, 10000);
      break;
    case kMusic:
      s.volumes.music = step(s.volumes.music, 10, 100);
      break;
    case kSound:
      s.volumes.sound = step(s.volumes.sound, 10, 100);
      break;
    case kMovie:
      s.volumes.movie = step(s.volumes.movie, 10, 100);
      break;
    default:
      return;
  }
  ApplyPlayerSettings(settings_, e_);
  std::string error;
  if (settings_file_ && !WritePlayerSettings(*settings_file_, settings_, &error)) {
    e_.host.Diagnostic("the settings were not kept: " + error);
  }
  ListScreen& list = screens_.back().list;
  list.items = SettingItems();
}

}  // namespace tsumugi
