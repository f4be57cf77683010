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
    "  --audio-out FILE    with --headless: write everything the run sounded as WAV\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Exit status: 0 normal end, 1 ended after an error message, 2 bad command\n"
    "line or input file, 3 --max-time ran out, 4 a file to write (--audio-out)\n"
    "could not be written.\n";

int BadCommandLine(const std::string& message) {
  std::cerr << "tsumugi: " << message << "\nTry 'tsumugi --help'.\n";
  return 2;
}

int RunEngine(tsumugi::Host& host, const tsumugi::EngineOptions& options,
              const std::optional<std::string>& screenshot) {
  tsumugi::ExitStatus status;
  {
    tsumugi::Engine engine(host, options);
    status = engine.Run();
  }
  if (screenshot) {
    std::string error;
    if (!tsumugi::gdi::WritePng(tsumugi::ComposeWithVideoBox(host.Screen(), host.Media().Box()),
                                *screenshot, &error)) {
      std::cerr << "tsumugi: cannot write screenshot '" << *screenshot << "': " << error << "\n";
    }
  }
  return static_cast<int>(status);
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
  if (ec || !std::filesystem::is_directory(game, ec)) {
    return BadCommandLine("game folder '" + cl.game_folder + "' does not exist");
  }
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
  options.settings_file =
      cl.ini_file ? std::filesystem::absolute(*cl.ini_file, ec) : SettingsFileFor(game);

  std::filesystem::path soundfont;
  if (cl.soundfont) {
    soundfont = std::filesystem::absolute(*cl.soundfont, ec);
    if (ec || !std::filesystem::is_regular_file(soundfont, ec)) {
      return BadCommandLine("SoundFont '" + *cl.soundfont + "' does not exist");
    }
  }

  if (!cl.headless) {
#ifdef TSUMUGI_HAVE_SDL
    if (cl.input_file || cl.max_time || cl.audio_out) {
      return BadCommandLine("--input, --max-time and --audio-out need --headless");
    }
    sdl::SdlHost host({.sound = !cl.no_sound, .soundfont = soundfont, .err = &std::cerr});
    if (!host.Open(&error)) {
      return BadCommandLine("cannot open a window (" + error + "); use --headless");
    }
    return RunEngine(host, options, cl.screenshot);
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
  int status = RunEngine(host, options, cl.screenshot);
  if (audio_out.IsOpen() && !audio_out.Finish(&error)) {
    std::cerr << "tsumugi: " << error << "\n";
    status = 4;
  }
  return status;
}
