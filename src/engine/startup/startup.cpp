#include "engine/startup/startup.h"

#include <filesystem>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "engine/startup/config_file.h"

namespace tsumugi {

namespace {

// Old games were made on a case-insensitive file system: a folder named
// "Data" in the settings is the folder "data" on disk. On success `folder`
// names the folder as it is on disk. The scenario folder must lie inside the
// game folder (symbolic links followed): a game cannot make the engine read
// the rest of the disk as its scenarios. A folder that is not accepted is
// reported as missing; the cause goes to standard error.
bool ResolveFolder(const SettingsReading& reading, std::u16string& folder) {
  std::error_code ec;
  std::filesystem::path path = PathFromUtf16(folder);
  if (!std::filesystem::is_directory(path, ec)) {
    std::optional<std::filesystem::path> found = FindPathNoCase("/", PathToUtf8(path));
    if (!found || !std::filesystem::is_directory(*found, ec)) {
      const FileProblem problem = found ? FileKindProblem(*found) : FileProblem::kMissing;
      reading.diagnostic("scenario folder " + PathToUtf8(path) + ": " +
                         (problem == FileProblem::kMissing ? std::string("no such folder")
                                                           : DescribeFileProblem(problem)));
      return false;
    }
    path = *found;
    folder = Utf8ToUtf16(PathToUtf8(*found));
    if (folder.empty() || folder.back() != u'/') folder += u'/';
  }
  const std::optional<std::filesystem::path> real = RealPath(path);
  const std::filesystem::path& root = reading.root;
  if (!real || !IsInside(root, *real)) {
    reading.diagnostic("scenario folder " + PathToUtf8(path) +
                       ": it lies outside the game folder (" + PathToUtf8(real.value_or(path)) +
                       " is not inside " + PathToUtf8(root) + ")");
    return false;
  }
  return true;
}

std::u16string MissingFolderMessage(const std::u16string& folder) {
  return u"存在しないフォルダ\r\n" + folder + u"\r\nをシナリオフォルダに指定しました";
}

}  // namespace

void Startup::Refuse(const std::u16string& message) {
  e_.host.MessageBoxOk(message);
  e_.form.EndEngine(ExitStatus::kError);
}

std::optional<std::u16string> ReadGameSettings(const SettingsReading& reading, Settings& s) {
  s.ScenarioExtension = u".txt";
  s.ScenarioFolder.clear();
  s.ProgramFolder = Utf8ToUtf16(PathToUtf8(reading.game_folder));
  if (s.ProgramFolder.empty() || s.ProgramFolder.back() != u'/') s.ProgramFolder += u'/';

  // No settings file is fine; one that is there but is no regular file (a
  // folder, a device, a FIFO) is refused at once, and so is one that cannot
  // be read: the game does not start with settings its author did not write.
  FileProblem problem = FileKindProblem(reading.settings_file);
  if (problem == FileProblem::kMissing) {
    s.DisplayStyle = DisplayStyleKind::kWindow;
    s.WindowZOrder = u"Normal";
    s.ScenarioFolder = s.ProgramFolder + u"data/";
    if (!ResolveFolder(reading, s.ScenarioFolder)) return MissingFolderMessage(s.ScenarioFolder);
    return std::nullopt;
  }
  std::string bytes, cause = DescribeFileProblem(problem);
  if (problem == FileProblem::kNone &&
      ReadWholeFile(reading.settings_file, &bytes, &cause, kMaxTextFileBytes, &problem)) {
    ApplySettingsLines(SplitLines(DecodeGameText(bytes)), s);
  } else {
    const std::string path = PathToUtf8(reading.settings_file);
    reading.diagnostic("settings file " + path + ": " + cause);
    return u"設定ファイル「" + Utf8ToUtf16(path) + u"」を読み込めません\r\n" +
           DescribeFileProblemJapanese(problem);
  }
  if (s.ScenarioFolder.empty()) s.ScenarioFolder = s.ProgramFolder;
  if (s.DisplayStyle == DisplayStyleKind::kMissing) return u"表示スタイルが指定されていません";
  if (!ResolveFolder(reading, s.ScenarioFolder)) return MissingFolderMessage(s.ScenarioFolder);
  if (s.DisplayStyle == DisplayStyleKind::kUnknown) {
    return u"存在しない表示スタイルを指定しました";
  }
  if (s.WindowZOrder.empty()) return u"Ｚオーダーが指定されていません";
  if (s.WindowZOrder != u"Top" && s.WindowZOrder != u"Normal") {
    return u"存在しないＺオーダーを指定しました";
  }
  return std::nullopt;
}

void Startup::StartEngine(bool run_script) {
  Settings& s = e_.settings;

  // The form exists from here on, hidden until the screen mode shows it.
  // Keys reach the engine as plain key codes: no input method is attached
  // to the window on any host.
  e_.host.ShowWindow(false);
  e_.form.Load();

  if (!e_.host.AcquireInstanceLock(PathToUtf8(e_.options.game_folder))) {
    Refuse(u"重複起動は出来ません");
  }

  const bool has_settings_file = FileKindProblem(e_.options.settings_file) != FileProblem::kMissing;
  const std::optional<std::u16string> refusal =
      ReadGameSettings({e_.options.game_folder, e_.options.settings_file, e_.files.GameRoot(),
                        [this](const std::string& text) { e_.host.Diagnostic(text); }},
                       s);
  if (refusal) Refuse(*refusal);
  Size desktop = e_.host.DesktopSize();
  s.DesktopIs640x480 = desktop.width == gdi::kScreenWidth && desktop.height == gdi::kScreenHeight;
  if (s.DesktopIs640x480) {
    s.DisplayStyle = DisplayStyleKind::kFull;
  } else if (has_settings_file && s.DisplayStyle == DisplayStyleKind::kUser) {
    s.DisplayStyle = e_.host.MessageBoxYesNo(s.StyleQuestion) ? DisplayStyleKind::kFull
                                                              : DisplayStyleKind::kWindow;
  }

  ResetEngine();

  if (s.ColorModeIndex >= 0 && s.ColorModeIndex < 5 &&
      !s.ColorModeMessages[s.ColorModeIndex].empty() &&
      s.DisplayStyle == DisplayStyleKind::kWindow) {
    e_.host.MessageBoxOk(s.ColorModeMessages[s.ColorModeIndex]);
  }

  e_.catalogue.BuildCatalogue();
  e_.script.OpenStartScenario();
  ApplyScreenMode();
  if (run_script) e_.script.RunScript();
}

void Startup::ResetEngine() {
  e_.settings.ColorModeIndex = 0;
  // The game's defaults, then what the configuration file says.
  e_.state = GameState{};
  e_.vars.Randomize();
  e_.RebuildCaches();
  // The print settings start as the window's.
  e_.printer.ApplyTextFont();

  ConfigFile config(e_.host.Dialogs(), e_.host.Window(), e_.settings, e_.form, e_.script, e_.vars,
                    e_.files, e_.state.script);
  if (e_.options.translation) {
    config.ShowCaptionTranslated([this](std::u16string_view w) { return e_.Translated(w); });
  }
  int page_count = -1;
  config.Read(&page_count);
  e_.pages.SetPageCount(page_count >= 0 ? page_count : Pages::kDefaultPageCount);
}

void Startup::ApplyScreenMode() {
  Host& host = e_.host;
  const Settings& s = e_.settings;
  host.ShowWindow(false);
  bool full = s.DisplayStyle == DisplayStyleKind::kFull;
  if (full) {
    static constexpr int kDepthByMode[5] = {0, 8, 16, 24, 32};
    int mode = s.ColorModeIndex;
    int bits = (mode >= 0 && mode < 5) ? kDepthByMode[mode] : 0;
    switch (
        host.ChangeDisplayMode(gdi::kScreenWidth, gdi::kScreenHeight, bits, /*test_only=*/true)) {
      case DisplayChange::kBadMode:
        host.MessageBoxOk(
            u"グラフィックスモードはサポートされていません\r\n"
            u"ウィンドウモードで実行してください");
        // The display has not been changed, so none of the unload steps
        // are needed: the process ends here.
        e_.form.EndWithoutUnload(ExitStatus::kError);
      case DisplayChange::kSuccessful:
        // The test has just accepted the mode. Should the change fail all
        // the same, the game goes on in the mode the display has.
        static_cast<void>(host.ChangeDisplayMode(gdi::kScreenWidth, gdi::kScreenHeight, bits,
                                                 /*test_only=*/false));
        break;
      case DisplayChange::kRestart:
        host.MessageBoxOk(
            u"画面の設定を有効にするには再起動が必要です\r\n"
            u"手動で画面設定を変えるか、ウィンドウモードで実行してください");
        break;
      default:
        break;
    }
  } else {
    host.RestoreDisplayMode();
  }
  host.SetWindowStyle(full, s.WindowZOrder == u"Top");
  host.ShowWindow(true);
}

}  // namespace tsumugi
