// tsumugi: plays a game folder, in a window or headless.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "app/command_line.h"
#include "platform/media/media_service.h"
#include "common/file_lookup.h"
#include "engine/engine.h"
#include "platform/gdi/png_writer.h"
#include "platform/headless/headless_host.h"
#include "platform/media/wav_writer.h"
#include "platform/instance/stop_signals.h"
#ifdef TSUMUGI_HAVE_SDL
#include "platform/sdl/sdl_host.h"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: tsumugi [options] [GAMEDIR]\n"
    "Plays the game in GAMEDIR (default: the current folder).\n"
    "\n"
    "Options:\n"
    "  --headless          no window: a virtual clock, input from --input, message\n"
    "                      boxes as JSON lines on standard output\n"
    "  --input FILE        player actions for --headless (one a line)\n"
    "  --screenshot FILE   write the screen as PNG when the engine ends\n"
    "  --max-time MS       stop after MS milliseconds of engine time (exit status 3)\n"
    "  --desktop WxH       the desktop size the engine sees (default 1024x768)\n"
    "  --ini FILE          the settings file (default: found beside the game's .exe)\n"
    "  --crisp-text        draw text unsmoothed, as Windows 95 did\n"
    "  --save-dir DIR      keep save files in DIR instead of the scenario folder\n"
    "  --soundfont FILE    the General MIDI SoundFont for MIDI music\n"
    "  --no-sound          open no sound device; media keep their time in silence\n"
    "  --scale N           open the window at N times 640x480 (default: the largest\n"
    "                      whole number that fits the desktop)\n"
    "  --filter sharp|smooth  how the picture is scaled: square pixels (default)\n"
    "                      or filtered\n"
    "  --renderer software|accelerated  draw the window with the processor or the\n"
    "                      graphics card (default: the card where the display has one)\n"
    "  --audio-out FILE    with --headless: write everything the run sounded as WAV\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Exit status: 0 normal end, 1 ended after an error message, 2 bad command\n"
    "line or input file, 3 --max-time ran out (or an endless loop was stopped),\n"
    "4 a file the runner was asked to write could not be written, 128+N ended\n"
    "by signal N (SIGTERM, SIGINT).\n";

// A file the runner was asked to write (a screenshot) could not be written.
constexpr int kWriteFailed = 4;

int BadCommandLine(const std::string& message) {
  std::cerr << "tsumugi: " << message << "\nTry 'tsumugi --help'.\n";
  return 2;
}

// Runs the engine to its end and writes the screenshot asked for. The exit
// status is the engine's, unless a file could not be written (4) or a stop
// signal ended the run (128 + its number). `write_failed` tells whether the
// host failed to write a file during the run.
template <typename HostType, typename WriteFailed>
int RunEngine(HostType& host, const tsumugi::EngineOptions& options,
              const std::optional<std::string>& screenshot, WriteFailed write_failed) {
  tsumugi::ExitStatus status;
  {
    tsumugi::Engine engine(host, options);
    status = engine.Run();
  }
  int result = static_cast<int>(status);
  bool failed = write_failed(host);
  if (screenshot) {
    std::string error;
    if (!tsumugi::gdi::WritePng(tsumugi::ComposeWithVideoBox(host.Screen(), host.Media().Box()),
                                *screenshot, &error)) {
      std::cerr << "tsumugi: cannot write screenshot '" << *screenshot << "': " << error << "\n";
      failed = true;
    }
  }
  if (failed) result = kWriteFailed;
  if (const int signal_number = tsumugi::StopSignal(); signal_number != 0) {
    std::cerr << "tsumugi: stopped by signal " << signal_number << "\n";
    result = 128 + signal_number;
  }
  return result;
}

// The game folder must be a folder the player can read.
bool CheckGameFolder(const std::filesystem::path& game, const std::string& written,
                     std::string* error) {
  using tsumugi::FileProblem;
  const FileProblem problem = tsumugi::FileKindProblem(game);
  if (problem == FileProblem::kMissing) {
    *error = "game folder '" + written + "' does not exist";
    return false;
  }
  if (problem == FileProblem::kNoPermission) {
    *error = "game folder '" + written + "' cannot be reached: permission denied";
    return false;
  }
  if (problem != FileProblem::kFolder) {
    *error = "game folder '" + written + "' is not a folder";
    return false;
  }
  std::error_code ec;
  std::filesystem::directory_iterator it(game, ec);
  if (ec) {
    *error = "game folder '" + written + "' cannot be read: " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tsumugi;
  CommandLine cl;
  std::string error;
  if (!ParseCommandLine(argc, argv, &cl, &error)) return BadCommandLine(error);
  if (cl.help) {
    std::cout << kUsage;
    return 0;
  }
  if (cl.version) {
    std::cout << "tsumugi 0.1.0\n";
    return 0;
  }

  std::error_code ec;
  std::filesystem::path game = std::filesystem::absolute(cl.game_folder, ec);
  if (ec) return BadCommandLine("game folder '" + cl.game_folder + "' does not exist");
  if (!CheckGameFolder(game, cl.game_folder, &error)) return BadCommandLine(error);
  game = game.lexically_normal();

  EngineOptions options;
  options.game_folder = game;
  options.crisp_text = cl.crisp_text;
  if (cl.save_dir) {
    options.save_dir = std::filesystem::absolute(*cl.save_dir, ec).lexically_normal();
    if (ec || (std::filesystem::exists(*options.save_dir, ec) &&
               !std::filesystem::is_directory(*options.save_dir, ec))) {
      return BadCommandLine("--save-dir '" + *cl.save_dir + "' is not a folder");
    }
  }
  if (cl.ini_file) {
    // A settings file named outright must be one.
    const FileProblem problem = FileKindProblem(*cl.ini_file);
    if (problem != FileProblem::kNone) {
      return BadCommandLine("--ini '" + *cl.ini_file + "': " +
                            (problem == FileProblem::kMissing ? std::string("no such file")
                                                              : DescribeFileProblem(problem)));
    }
    options.settings_file = std::filesystem::absolute(*cl.ini_file, ec);
  } else {
    options.settings_file = SettingsFileFor(game);
    // The settings file found beside the game is the game's own: one that
    // leads outside the game folder is not read, as if it were missing.
    const std::optional<std::filesystem::path> real = RealPath(options.settings_file);
    const std::optional<std::filesystem::path> root = RealPath(game);
    if (real && root && !IsInside(*root, *real)) {
      std::cerr << "tsumugi: settings file " << options.settings_file.native()
                << ": it lies outside the game folder (" << real->native() << "); not read\n";
      options.settings_file.clear();
    }
  }


  std::filesystem::path soundfont;
  if (cl.soundfont) {
    soundfont = std::filesystem::absolute(*cl.soundfont, ec);
    if (ec || !std::filesystem::is_regular_file(soundfont, ec)) {
      return BadCommandLine("SoundFont '" + *cl.soundfont + "' does not exist");
    }
  }

  // SIGTERM and SIGINT end the engine as the close button does.
  InstallStopSignalHandlers();

  if (!cl.headless) {
#ifdef TSUMUGI_HAVE_SDL
    if (cl.input_file || cl.max_time || cl.audio_out) {
      return BadCommandLine("--input, --max-time and --audio-out need --headless");
    }
    sdl::SdlHost host({.sound = !cl.no_sound,
                       .soundfont = soundfont,
                       .err = &std::cerr,
                       .scale = cl.scale.value_or(0),
                       .filter = cl.filter == "smooth" ? sdl::Filter::kSmooth : sdl::Filter::kSharp,
                       .renderer = cl.renderer == "software"      ? sdl::RendererChoice::kSoftware
                                   : cl.renderer == "accelerated" ? sdl::RendererChoice::kAccelerated
                                                                  : sdl::RendererChoice::kAuto});
    if (!host.Open(&error)) {
      return BadCommandLine("cannot open a window: " + error +
                            "\nWithout a display, play with --headless.");
    }
    return RunEngine(host, options, cl.screenshot, [](sdl::SdlHost&) { return false; });
#else
    return BadCommandLine("this build has no window support; use --headless");
#endif
  }

  headless::HeadlessOptions host_options;
  if (cl.input_file) {
    std::string text;
    if (!ReadWholeFile(*cl.input_file, &text, &error)) {
      return BadCommandLine("cannot read input file '" + *cl.input_file + "': " + error);
    }
    headless::InputParseResult parsed = headless::ParseInputScript(text);
    if (!parsed.error.empty()) {
      return BadCommandLine("input file '" + *cl.input_file + "', " + parsed.error);
    }
    host_options.actions = std::move(parsed.actions);
  }
  host_options.max_time = cl.max_time;
  host_options.desktop = cl.desktop;
  host_options.out = &std::cout;
  host_options.err = &std::cerr;
  host_options.soundfont = soundfont;
  media::WavWriter audio_out;
  if (cl.audio_out) {
    if (!audio_out.Open(*cl.audio_out, &error)) {
      std::cerr << "tsumugi: cannot write '" << *cl.audio_out << "': " << error << "\n";
      return 4;
    }
    host_options.audio_out = &audio_out;
  }
  headless::HeadlessHost host(std::move(host_options));
  int status = RunEngine(host, options, cl.screenshot,
                         [](headless::HeadlessHost& h) { return h.WriteFailed(); });
  if (audio_out.IsOpen() && !audio_out.Finish(&error)) {
    std::cerr << "tsumugi: " << error << "\n";
    if (status < 128) status = 4;
  }
  return status;
}
