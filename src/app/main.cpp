// tsumugi: plays a game folder, in a window or headless.
#include <libintl.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "app/check_main.h"
#include "app/command_line.h"
#include "app/explore_main.h"
#include "app/strings_main.h"
#include "app/translation_choice.h"
#include "platform/media/media_service.h"
#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "engine/engine.h"
#include "engine/player/player_settings.h"
#include "engine/player/words.h"
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
    "       tsumugi check [--json] [--translation FILE.po] [GAMEDIR]\n"
    "       tsumugi explore [--out DIR] [GAMEDIR]\n"
    "       tsumugi strings [--out FILE.pot] [GAMEDIR]\n"
    "Plays the game in GAMEDIR (default: the current folder); \"check\" reads it\n"
    "without playing and reports every fault found (see \"tsumugi check --help\");\n"
    "\"explore\" plays every branch and draws the game's storyboard (see\n"
    "\"tsumugi explore --help\"); \"strings\" writes the texts a player reads as a\n"
    "gettext template for translators.\n"
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
    "  --continue          go on from the automatic save that quitting at a wait\n"
    "                      (Escape, closing the window, the end of the input)\n"
    "                      left in the game's data folder\n"
    "  --scale N           open the window at N times 640x480 (default: the\n"
    "                      settings' scale, else the largest whole number that\n"
    "                      fits the desktop)\n"
    "  --filter sharp|smooth  how the picture is scaled: square pixels (default)\n"
    "                      or filtered; it wins over the settings' filter\n"
    "  --settings FILE     the player's settings (below); default: none with\n"
    "                      --headless, so that runs repeat, else\n"
    "                      $XDG_CONFIG_HOME/tsumugi/settings.toml (by default\n"
    "                      ~/.config/tsumugi/settings.toml)\n"
    "  --renderer software|accelerated  draw the window with the processor or the\n"
    "                      graphics card (default: the card where the display has one)\n"
    "  --audio-out FILE    with --headless: write everything the run sounded as WAV\n"
    "  --date YYYY-MM-DDTHH:MM:SS\n"
    "                      with --headless: the local time \".now\" starts from\n"
    "                      (default 2000-01-01T00:00:00; it moves with engine time)\n"
    "  --seed N            the seed of \".rnd\" (fixed by default with --headless)\n"
    "  --trace FILE        write every script line run: time, file:line, the line\n"
    "  --coverage FILE     write which scenario lines ran, as an lcov tracefile\n"
    "  --text-log FILE     write the text shown, a display line at a time as it is\n"
    "                      completed: time, file:line, the text (UTF-8)\n"
    "  --translation FILE  show the game's texts from a gettext catalogue, a .po\n"
    "                      or .mo file made from \"tsumugi strings\"\n"
    "  --lang LANG         the catalogue GAMEDIR/translations/LANG.po (default: the\n"
    "                      locale's language in a window, none with --headless;\n"
    "                      ja: the game's own text)\n"
    "  --wrap words|characters  break lines between words or at any character\n"
    "                      (default: as the translation's header says, else\n"
    "                      characters, as the game did)\n"
    "  --help              this text\n"
    "  --version           the version\n"
    "\n"
    "Keys and mouse in the window:\n"
    "  left button, Enter   go on: a click wait, a choice, a button\n"
    "  right button, Space  held: fast-forward the text and the pauses the game\n"
    "                       lets pass; a click goes on there, or goes back to an\n"
    "                       earlier page where the game allows it\n"
    "  arrow keys           move the pointer by 10 of the game's pixels, to point\n"
    "                       at a choice or a button without the mouse\n"
    "  F4, Alt+Enter        switch between the window and full screen\n"
    "  F5                   quick save: the whole game where it stands, into\n"
    "                       quicksave.png in the game's data folder (--save-dir,\n"
    "                       else under $XDG_DATA_HOME/tsumugi/)\n"
    "  F9                   quick load: back to the latest quick save, also in a\n"
    "                       later run\n"
    "  wheel up, PageUp     go back to the previous wait you answered (a click\n"
    "                       wait, a menu, buttons), as it was; up to 100 waits\n"
    "  wheel down, PageDown  forward again to the next wait you had reached; at\n"
    "                       a menu gone back to, another choice takes another way\n"
    "  A                    auto mode: a click wait goes on by itself after 1.2 s\n"
    "                       and 50 ms a character typed since the last wait (see\n"
    "                       the settings); any click or key ends it\n"
    "  Ctrl                 held: skip everything as fast as it can be shown, up\n"
    "                       to a menu, buttons or the end\n"
    "  Tab                  skip mode: passes only text read before (in this run\n"
    "                       or an earlier one) and stops at the first line never\n"
    "                       shown, at a menu or at buttons\n"
    "  L                    the text history: the session's text page by page;\n"
    "                       the arrows and the wheel scroll it, L, Escape or the\n"
    "                       right button close it\n"
    "  F1, middle button    the player's menu: save to and load from ten slots,\n"
    "                       the settings, the history, the keys, quit; the arrows,\n"
    "                       the wheel, Enter and clicks choose, Escape or the\n"
    "                       right button go back, F1 closes it\n"
    "  Escape               end the game, as closing the window does; at a wait\n"
    "                       the moment is kept for --continue\n"
    "\n"
    "The player's settings, a TOML file of lines KEY = VALUE, each one optional:\n"
    "  text_speed = 1.0       how fast text is typed, 0.1 to 100: 2 is twice as fast\n"
    "  auto_base_ms = 1200    auto mode's wait at a click wait, 0 to 60000 ms\n"
    "  auto_per_char_ms = 50  what each character typed adds to it, 0 to 10000 ms\n"
    "  music_volume = 100     MIDI, MP3 and CD music, in percent (0 to 100)\n"
    "  sound_volume = 100     wave sounds (0 to 100)\n"
    "  movie_volume = 100     the sound of movies (0 to 100)\n"
    "  fullscreen = false     true: play in full screen from the start\n"
    "  scale = 0              the window's scale, 1 to 16; 0: the largest that fits\n"
    "  filter = \"sharp\"       or \"smooth\", as --filter\n"
    "A file that cannot be read, or is no TOML, is named in one line on standard\n"
    "error with the line at fault, and every setting keeps its default; so does a\n"
    "key of the wrong type or out of its range. Other keys are passed over.\n"
    "\n"
    "The --input file holds one action a line: click X Y, rclick X Y, middle X Y,\n"
    "press|release left|right X Y, move X Y, wheel up|down, key|keydown|keyup\n"
    "NAME (Enter, Space, Escape, F4, AltEnter, Left, Up, Right, Down, F1, F5, F9,\n"
    "Tab, A, L, PageUp, PageDown, Ctrl), answer yes|no, screenshot FILE.png,\n"
    "wait MS; \"#\" starts a comment.\n"
    "\n"
    "Exit status: 0 normal end, 1 ended after an error message, 2 bad command\n"
    "line or input file, 3 --max-time ran out (or an endless loop was stopped),\n"
    "4 a file the runner was asked to write could not be written, 128+N ended\n"
    "by signal N (SIGTERM, SIGINT).\n"
    "\n"
    "More in the manual page: man tsumugi.\n";

// A file the runner was asked to write (a screenshot) could not be written.
constexpr int kWriteFailed = 4;

int BadCommandLine(const std::string& message) {
  tsumugi::Complain(message);
  std::cerr << "Try 'tsumugi --help'.\n";
  return 2;
}

// What a run writes besides the screen: the trace (an open stream) and the
// coverage file.
struct RunOutputs {
  std::optional<std::string> screenshot;
  std::ofstream* trace = nullptr;
  std::optional<std::string> trace_name;
  std::ofstream* text_log = nullptr;
  std::optional<std::string> text_log_name;
  std::optional<std::string> coverage;
};

// Opens a file the run writes as it goes (the trace, the text log); false,
// said on standard error, when it cannot be written.
bool OpenOutput(const std::string& name, const std::string& what, std::ofstream& stream) {
  stream.open(name, std::ios::binary | std::ios::trunc);
  if (stream) return true;
  tsumugi::Complain("cannot write " + what + " '" + name + "': " + std::strerror(errno));
  return false;
}

// Runs the engine to its end and writes the screenshot, trace and coverage
// asked for. The exit status is the engine's, unless a file could not be
// written (4) or a stop signal ended the run (128 + its number).
// `write_failed` tells whether the host failed to write a file during the
// run.
template <typename HostType, typename WriteFailed>
int RunEngine(HostType& host, const tsumugi::EngineOptions& options,
              const tsumugi::PlayerSettings& settings,
              const std::optional<std::filesystem::path>& settings_file, const RunOutputs& outputs,
              WriteFailed write_failed) {
  tsumugi::ExitStatus status;
  bool failed = false;
  {
    tsumugi::Engine engine(host, options);
    engine.player.UseSettings(settings, settings_file);
    engine.record.Start(outputs.trace, outputs.coverage.has_value());
    engine.record.StartTextLog(outputs.text_log);
    status = engine.Run();
    std::string error;
    if (outputs.coverage &&
        !tsumugi::WriteWholeFile(*outputs.coverage, engine.record.CoverageText(), &error)) {
      tsumugi::Complain("cannot write coverage '" + *outputs.coverage + "': " + error);
      failed = true;
    }
  }
  if (outputs.trace && !outputs.trace->flush()) {
    tsumugi::Complain("cannot write trace '" + *outputs.trace_name + "'");
    failed = true;
  }
  if (outputs.text_log && !outputs.text_log->flush()) {
    tsumugi::Complain("cannot write text log '" + *outputs.text_log_name + "'");
    failed = true;
  }
  const std::optional<std::string>& screenshot = outputs.screenshot;
  int result = static_cast<int>(status);
  failed = write_failed(host) || failed;
  if (screenshot) {
    std::string error;
    if (!tsumugi::gdi::WritePng(host.ShownScreen(), *screenshot, &error)) {
      tsumugi::Complain("cannot write screenshot '" + *screenshot + "': " + error);
      failed = true;
    }
  }
  if (failed) result = kWriteFailed;
  if (const int signal_number = tsumugi::StopSignal(); signal_number != 0) {
    tsumugi::Complain("stopped by signal " + std::to_string(signal_number));
    result = 128 + signal_number;
  }
  return result;
}

}  // namespace

// Tsumugi's own words in the player's language (gettext; the game's
// messages stay as the game has them). A player whose LANG names a locale
// the system lacks still gets them: gettext heeds LANGUAGE in any locale
// but "C", and C.UTF-8 is on every system.
void ChooseLanguage() {
  if (std::setlocale(LC_MESSAGES, "") == nullptr) std::setlocale(LC_MESSAGES, "C.UTF-8");
  const char* language = std::getenv("LANGUAGE");
  if (language == nullptr || *language == '\0') {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (value == nullptr || *value == '\0') continue;
      const std::string code(value, std::strcspn(value, ".@"));
      if (code != "C" && code != "POSIX") setenv("LANGUAGE", code.c_str(), 1);
      break;
    }
  }
  // The catalogues beside the program in a build, else where they are
  // installed.
  std::error_code ec;
  const std::filesystem::path beside =
      std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "locale";
  const std::string folder =
      !ec && std::filesystem::is_directory(beside, ec) ? beside.string() : TSUMUGI_LOCALEDIR;
  bindtextdomain(tsumugi::kWordsDomain, folder.c_str());
  bind_textdomain_codeset(tsumugi::kWordsDomain, "UTF-8");
}

int main(int argc, char** argv) {
  using namespace tsumugi;
  ChooseLanguage();
  // "tsumugi check ..." reads a game without playing it.
  if (argc >= 2 && std::strcmp(argv[1], "check") == 0) return CheckMain(argc - 1, argv + 1);
  // "tsumugi explore ..." plays every branch of a game.
  if (argc >= 2 && std::strcmp(argv[1], "explore") == 0) return ExploreMain(argc - 1, argv + 1);
  // "tsumugi strings ..." writes a game's texts for translators.
  if (argc >= 2 && std::strcmp(argv[1], "strings") == 0) return StringsMain(argc - 1, argv + 1);
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
  std::filesystem::path game;
  if (!ResolveGameFolder(cl.game_folder, &game, &error)) return BadCommandLine(error);

  EngineOptions options;
  options.game_folder = game;
  options.crisp_text = cl.crisp_text;
  options.seed = cl.seed;
  options.keep_player_files = true;
  options.resume = cl.resume;
  if (cl.save_dir) {
    options.save_dir = std::filesystem::absolute(*cl.save_dir, ec).lexically_normal();
    if (ec || (std::filesystem::exists(*options.save_dir, ec) &&
               !std::filesystem::is_directory(*options.save_dir, ec))) {
      return BadCommandLine("--save-dir '" + *cl.save_dir + "' is not a folder");
    }
  }
  if (!ChooseSettingsFile(game, cl.ini_file, &options.settings_file, &error)) {
    return BadCommandLine(error);
  }
  if (!ChooseTranslation(cl, game, &options, &error)) return BadCommandLine(error);

  // The player's settings: a window run reads the player's own, a headless
  // run only those named, so that its runs repeat.
  PlayerSettings settings;
  std::optional<std::filesystem::path> settings_file;
  if (cl.settings_file) {
    if (FileKindProblem(*cl.settings_file) == FileProblem::kMissing) {
      return BadCommandLine("--settings '" + *cl.settings_file + "': no such file");
    }
    settings_file = *cl.settings_file;
  } else if (!cl.headless) {
    settings_file = PlayerSettingsFile();
  }
  if (settings_file) settings = ReadPlayerSettings(*settings_file, std::cerr);

  std::filesystem::path soundfont;
  if (cl.soundfont) {
    soundfont = std::filesystem::absolute(*cl.soundfont, ec);
    if (ec || !std::filesystem::is_regular_file(soundfont, ec)) {
      return BadCommandLine("SoundFont '" + *cl.soundfont + "' does not exist");
    }
  }

  RunOutputs outputs;
  outputs.screenshot = cl.screenshot;
  outputs.coverage = cl.coverage;
  std::ofstream trace, text_log;
  if (cl.trace) {
    if (!OpenOutput(*cl.trace, "trace", trace)) return 4;
    outputs.trace = &trace;
    outputs.trace_name = cl.trace;
  }
  if (cl.text_log) {
    if (!OpenOutput(*cl.text_log, "text log", text_log)) return 4;
    outputs.text_log = &text_log;
    outputs.text_log_name = cl.text_log;
  }

  // SIGTERM and SIGINT end the engine as the close button does.
  InstallStopSignalHandlers();

  if (!cl.headless) {
#ifdef TSUMUGI_HAVE_SDL
    if (cl.input_file || cl.max_time || cl.audio_out || cl.date) {
      return BadCommandLine("--input, --max-time, --audio-out and --date need --headless");
    }
    // The command line's scale and filter win over the settings'.
    const bool smooth = cl.filter ? *cl.filter == "smooth"
                                  : settings.filter == PictureFilter::kSmooth;
    sdl::SdlHost host({.sound = !cl.no_sound,
                       .soundfont = soundfont,
                       .err = &std::cerr,
                       .scale = cl.scale.value_or(settings.scale),
                       .filter = smooth ? sdl::Filter::kSmooth : sdl::Filter::kSharp,
                       .full_screen = settings.fullscreen,
                       .renderer = cl.renderer == "software"      ? sdl::RendererChoice::kSoftware
                                   : cl.renderer == "accelerated" ? sdl::RendererChoice::kAccelerated
                                                                  : sdl::RendererChoice::kAuto});
    if (!host.Open(&error)) {
      return BadCommandLine("cannot open a window: " + error +
                            "\nWithout a display, play with --headless.");
    }
    return RunEngine(host, options, settings, settings_file, outputs, [](sdl::SdlHost&) { return false; });
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
  if (cl.date) host_options.start_date = *cl.date;
  media::WavWriter audio_out;
  if (cl.audio_out) {
    if (!audio_out.Open(*cl.audio_out, &error)) {
      tsumugi::Complain("cannot write '" + *cl.audio_out + "': " + error);
      return 4;
    }
    host_options.audio_out = &audio_out;
  }
  headless::HeadlessHost host(std::move(host_options));
  int status = RunEngine(host, options, settings, settings_file, outputs,
                         [](headless::HeadlessHost& h) { return h.WriteFailed(); });
  if (audio_out.IsOpen() && !audio_out.Finish(&error)) {
    tsumugi::Complain(error);
    if (status < 128) status = 4;
  }
  return status;
}
