// A page typed in translation against the same page in the game's own text:
// 40 pages of three lines, typed a character at a time (20 ms each) in the
// default window, once in Japanese in the game's face and once in English
// from a catalogue, broken between words in DejaVu Sans. Prints, for each,
// the characters typed, the game time a character takes (the pace the
// player sees: the same in both) and the processor time a typed character
// costs (drawing and presenting it). Figures only.
//   build/bench/translation_bench
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "bench_game.h"
#include "common/text_codec.h"
#include "common/translation.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/input_script.h"

using namespace tsumugi;

namespace {

constexpr int kPages = 40;
const char* const kJapanese[3] = {"朝の丘に風が吹いて、草の匂いがする。",
                                  "遠くで鳥が鳴き、川の音がかすかに聞こえる。",
                                  "今日はどこまで歩いて行こうか。"};
const char* const kEnglish[3] = {
    "A wind blows over the morning hill, and the grass smells sweet.",
    "Far away a bird is calling; the river can just be heard.",
    "How far shall we walk today?"};

struct Typed {
  uint64_t characters = 0;
  // Game time from each page's start (the click before it) to its wait.
  uint64_t typing_ms = 0;
  double seconds = 0;
};

Typed Play(const std::filesystem::path& game, bool english) {
  std::string input;
  for (int i = 0; i < kPages; ++i) input += "wait 5000\nclick 320 400\n";
  const headless::InputParseResult parsed = headless::ParseInputScript(input);
  std::ostringstream out, err;
  headless::HeadlessOptions host_options;
  host_options.actions = parsed.actions;
  host_options.out = &out;
  host_options.err = &err;
  headless::HeadlessHost host(host_options);
  EngineOptions options;
  options.game_folder = game;
  options.settings_file = game / "none.ini";
  if (english) {
    std::string po = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    for (int i = 0; i < 3; ++i) {
      po += std::string("\nmsgctxt \"start.txt\"\nmsgid \"") + kJapanese[i] + "\"\nmsgstr \"" +
            kEnglish[i] + "\"\n";
    }
    TranslationLoad load = Translation::FromPoText(po);
    if (!load.translation) throw std::runtime_error(load.error);
    options.translation = load.translation;
    options.wrap_words = true;
    options.text_face = u"DejaVu Sans";
  }
  Engine engine(host, options);
  Typed typed;
  uint32_t page_start = 0;
  engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
    if (pause_left) return;
    typed.typing_ms += host.Clock().TimeGetTime() - page_start;
    page_start += 5000;
  };
  const auto start = std::chrono::steady_clock::now();
  if (engine.Run() != ExitStatus::kNormal) throw std::runtime_error(out.str() + err.str());
  typed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  typed.characters = engine.text.CharsTyped();
  return typed;
}

}  // namespace

int main() {
  bench::BenchFolder game;
  std::string script = ".tsw\n.tsp 20\n";
  for (int i = 0; i < kPages; ++i) {
    for (const char* line : kJapanese) script += std::string(line) + "\n";
    script += ".tcl 0 0\n";
  }
  script += ".end\n";
  std::ofstream(game.path() / "data/start.txt", std::ios::binary) << Utf16ToCp932(Utf8ToUtf16(script));
  // A first run of each opens the fonts; the second is measured.
  Play(game.path(), false);
  Play(game.path(), true);
  const Typed own = Play(game.path(), false);
  const Typed english = Play(game.path(), true);
  for (const auto& [name, t] : {std::pair{"Japanese, the game's face", own},
                                std::pair{"English, DejaVu Sans, words", english}}) {
    std::printf("%-28s %6llu characters, %5.1f ms of game time and %5.1f us of processor time "
                "a character\n",
                name, static_cast<unsigned long long>(t.characters),
                static_cast<double>(t.typing_ms) / static_cast<double>(t.characters),
                t.seconds * 1e6 / static_cast<double>(t.characters));
  }
  std::printf("processor time a character, English against Japanese: %.2f\n",
              (english.seconds / static_cast<double>(english.characters)) /
                  (own.seconds / static_cast<double>(own.characters)));
  return 0;
}
