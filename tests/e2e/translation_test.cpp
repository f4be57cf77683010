// Playing a game in translation: a gettext catalogue's texts shown in place
// of the game's, lines broken between words in a proportional face, choices
// taken on their translated rows, and everything the game writes as it was.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/text_codec.h"
#include "platform/gdi/font.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// A .po catalogue of `entries` (context start.txt), with `header` lines.
std::string Po(const std::vector<std::pair<std::string, std::string>>& entries,
               const std::string& header = "\"X-Tsumugi-Wrap: words\\n\"\n") {
  std::string po = "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n" + header;
  for (const auto& [id, text] : entries) {
    po += "\nmsgctxt \"start.txt\"\nmsgid \"" + id + "\"\nmsgstr \"" + text + "\"\n";
  }
  return po;
}

// The texts of the text log, one display line each.
std::vector<std::string> Logged(const fs::path& log) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(log));
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.rfind('\t') + 1));
  return lines;
}

// Plays `script` (UTF-8) with `args` added, and gives the text log.
struct Played {
  RunResult run;
  std::vector<std::string> lines;
};
Played Play(const TempDir& work, const std::string& script, std::vector<std::string> args,
            const std::string& input = "") {
  WriteCp932(work / "game/data/start.txt", script);
  WriteFile(work / "input", input);
  args.insert(args.begin(), {"--headless", "--input", (work / "input").string(), "--text-log",
                             (work / "log.txt").string()});
  args.push_back("game");
  Played played{RunTsumugi(args, work.path()), {}};
  played.lines = Logged(work / "log.txt");
  return played;
}

// The width of `text` in the face translations for Latin script default to,
// at the games' default size.
int LatinWidth(const std::u16string& text) {
  gdi::FontEngine fonts;
  gdi::LogFont font;
  font.face = u"DejaVu Sans";
  return fonts.GetFont(font)->Extent(text, 0).width;
}

TEST(Translation, LinesBreakBetweenWordsAndAfterHyphensAndLongWordsAndWideTextAnywhere) {
  TempDir work;
  // The canvas is exactly as wide as "aaaa bbbb": that line ends at its edge.
  const int width = LatinWidth(u"aaaa bbbb");
  WriteFile(work / "en.po", Po({{"一", "aaaa bbbb cc"},
                                {"二", "aaaa bb-bbbbbbbb"},
                                {"三", "bb aaaaaaaaaaaaaaaaaaaaaa"},
                                {"四", "ああああああああああ"},
                                {"五", "aaaa bbbb  bbbb"}}));
  const Played played =
      Play(work, ".txt canvas size " + std::to_string(width) +
                     " 480\n.tsw\n.tsp 0\n一\n二\n三\n四\n五\n.end\n",
           {"--translation", (work / "en.po").string()});
  ASSERT_EQ(played.run.status, 0) << played.run.err;
  const std::vector<std::string>& l = played.lines;
  ASSERT_GE(l.size(), 9u) << played.run.err;
  // A space at the break is dropped; a hyphen stays with its line.
  EXPECT_EQ(l[0], "aaaa bbbb");
  EXPECT_EQ(l[1], "cc");
  EXPECT_EQ(l[2], "aaaa bb-");
  EXPECT_EQ(l[3], "bbbbbbbb");
  // A word longer than the line starts a line of its own and breaks
  // between its letters, each line as full as it can be; full-width text
  // breaks at any character.
  EXPECT_EQ(l[4], "bb ");
  size_t at = 5;
  const auto run_of = [&](const std::string& letter, size_t min_lines) {
    std::string joined;
    const size_t from = at;
    while (at < l.size() && l[at].starts_with(letter)) {
      if (at + 1 < l.size() && l[at + 1].starts_with(letter)) {
        EXPECT_GT(LatinWidth(Utf8ToUtf16(l[at] + letter)), width) << l[at];
      }
      joined += l[at++];
    }
    EXPECT_GE(at - from, min_lines) << letter;
    return joined;
  };
  EXPECT_EQ(run_of("a", 3), "aaaaaaaaaaaaaaaaaaaaaa");
  EXPECT_EQ(run_of("あ", 2), "ああああああああああ");
  const size_t wide = at;
  ASSERT_EQ(wide + 2, l.size());
  EXPECT_EQ(l[wide], "aaaa bbbb");
  EXPECT_EQ(l[wide + 1], "bbbb");

  // The same game untranslated, told to break between words, keeps its
  // own text; without a translation and without --wrap it breaks by
  // character in the game's face, as it always did.
  const Played own = Play(work, ".txt canvas size 64 480\n.tsw\n.tsp 0\nab cd\n.end\n", {});
  EXPECT_EQ(own.lines, (std::vector<std::string>{"ab c", "d"}));
  const Played words =
      Play(work, ".txt canvas size " + std::to_string(LatinWidth(u"ab cd")) +
                     " 480\n.tsw\n.tsp 0\nab cd ef\n.end\n",
           {"--wrap", "words"});
  EXPECT_EQ(words.lines, (std::vector<std::string>{"ab cd", "ef"}));
}

TEST(Translation, UntranslatedLinesSubstitutionsAndChoicesOnTheirTranslatedRows) {
  TempDir work;
  WriteCp932(work / "game/data/config.txt", ".str name\n");
  const std::string script =
      ".tsw\n.tsp 0\n.let name = 太郎\n[name]さん、こんにちは。\nまた明日。\n"
      ".slt\n右へ\n左へ\n.\n.1\n右です。\n.end\n.2\n左です。\n.end\n.\n";
  WriteFile(work / "en.po",
            Po({{"[name]さん、こんにちは。", "Hello, [name]!"},
                {"右へ", "Go right"},
                {"左へ", "Go left along the river bank, past the old mill and the bridge"},
                {"左です。", "Left it is."}}) +
                // A fuzzy entry is not yet a translation.
                "\n#, fuzzy\nmsgctxt \"start.txt\"\nmsgid \"また明日。\"\nmsgstr \"See you.\"\n");
  // Rows are 32 pixels high: the second choice takes rows 3 and 4, and a
  // click on its second row takes it.
  const Played played = Play(work, script, {"--translation", (work / "en.po").string()},
                             "wait 100\nclick 10 144\nwait 100\n");
  ASSERT_EQ(played.run.status, 0) << played.run.err;
  EXPECT_EQ(played.lines, (std::vector<std::string>{"Hello, 太郎!", "また明日。", "Left it is."}));
  // The same click without the translation lands below the menu.
  const Played own = Play(work, script, {}, "wait 100\nclick 10 144\nwait 100\nclick 10 80\n");
  EXPECT_EQ(own.lines, (std::vector<std::string>{"太郎さん、こんにちは。", "また明日。", "右です。"}));
}

TEST(Translation, ASaveFileKeepsTheGamesOwnTextAndTheTextLogTheTranslation) {
  // The sample game in English and in Japanese: the same save file, byte
  // for byte; the text log in the language played.
  std::string saves[2];
  std::vector<std::string> logs[2];
  const char* langs[2] = {"en", "ja"};
  for (int i = 0; i < 2; ++i) {
    TempDir work;
    const fs::path game = CopyOfSampleGame(work);
    const RunResult run = RunTsumugi(
        {"--headless", "--lang", langs[i], "--input", (game / "play.input").string(),
         "--text-log", (work / "log.txt").string(), game.string()},
        work.path());
    ASSERT_EQ(run.status, 0) << run.err;
    saves[i] = ReadFile(game / "data/save.txt");
    logs[i] = Logged(work / "log.txt");
  }
  EXPECT_FALSE(saves[0].empty());
  EXPECT_EQ(saves[0], saves[1]);
  ASSERT_FALSE(logs[0].empty());
  EXPECT_EQ(logs[0].front(), "Good morning. This is Tsumugi's sample game.");
  EXPECT_EQ(logs[1].front(), "おはようございます。紬のサンプルゲームです。");
  // Words are whole on every English line: each ends at a space, a hyphen
  // or the end of its text (the next line starts a new word).
  for (size_t i = 0; i + 1 < logs[0].size(); ++i) {
    const std::string& line = logs[0][i];
    const char last = line.back();
    if (last != ' ' && last != '-' && last != '.' && last != '!' && last != '?' && last != '"' &&
        last != ',') {
      ADD_FAILURE() << "a word is cut: \"" << line << "\" / \"" << logs[0][i + 1] << "\"";
    }
  }
}

TEST(Translation, APageASaveFileGivesBackInALaterSessionIsShownAsItWasRead) {
  // The sample game saved in English; a later session loads that save, and
  // the page it returns to is the English one, as in the session that saved.
  TempDir work;
  const fs::path game = CopyOfSampleGame(work);
  const std::string input = ReadFile(game / "play.input");
  const size_t save = input.find("click 152 40");
  const size_t load = input.find("click 208 40");
  ASSERT_TRUE(save != std::string::npos && load != std::string::npos);
  const std::string loaded = input.substr(load, input.find('\n', load) - load) + "\n";
  const auto play = [&](const std::string& actions, const std::string& shot) {
    WriteFile(work / "input", actions + loaded + "screenshot " + shot + "\n");
    const RunResult run =
        RunTsumugi({"--headless", "--lang", "en", "--input", (work / "input").string(),
                    "--save-dir", (work / "saves").string(), game.string()},
                   work.path());
    EXPECT_EQ(run.status, 0) << run.err;
  };
  play(input.substr(0, load), "saved.png");
  ASSERT_TRUE(fs::exists(work / "saves/shown-pages"));
  // The later session does not save: it loads what the first one saved.
  play(input.substr(0, save), "later.png");
  EXPECT_EQ(ReadFile(work / "later.png"), ReadFile(work / "saved.png"));
  // A save file of another engine gives the page its own lines.
  fs::remove(work / "saves/shown-pages");
  play(input.substr(0, save), "other.png");
  EXPECT_NE(ReadFile(work / "other.png"), ReadFile(work / "saved.png"));
}

TEST(Translation, BadCataloguesAreSaidAndTheGamePlaysUntranslated) {
  TempDir work;
  const std::string script = ".tsw\n.tsp 0\n一\n.end\n";
  // A syntax error: the file and the line are named.
  WriteFile(work / "bad.po", Po({{"一", "One"}}) + "msgid \"x\"\nmsgstr broken\"\n");
  Played bad = Play(work, script, {"--translation", (work / "bad.po").string()});
  EXPECT_EQ(bad.run.status, 0);
  EXPECT_NE(bad.run.err.find("bad.po:10: keyword \"broken\" unknown"), std::string::npos) << bad.run.err;
  EXPECT_NE(bad.run.err.find("untranslated"), std::string::npos) << bad.run.err;
  EXPECT_EQ(bad.lines, (std::vector<std::string>{"一"}));

  // Another encoding, as the header says; an encoding no one knows.
  const auto with_charset = [&](const std::string& charset) {
    std::string text = Utf16ToCp932(Utf8ToUtf16(Po({{"一", "ワン・One"}}, "")));
    text.replace(text.find("UTF-8"), 5, charset);
    return text;
  };
  WriteFile(work / "sjis.po", with_charset("CP932"));
  EXPECT_EQ(Play(work, script, {"--translation", (work / "sjis.po").string()}).lines,
            (std::vector<std::string>{"ワン・One"}));
  WriteFile(work / "odd.po", with_charset("NO-SUCH-CODE"));
  Played odd = Play(work, script, {"--translation", (work / "odd.po").string()});
  EXPECT_NE(odd.run.err.find("odd.po: the encoding \"NO-SUCH-CODE\""), std::string::npos)
      << odd.run.err;
  EXPECT_EQ(odd.lines, (std::vector<std::string>{"一"}));

  // A compiled catalogue plays as its source does.
  WriteFile(work / "en.po", Po({{"一", "One"}}));
  ASSERT_EQ(std::system(("msgfmt -o '" + (work / "en.mo").string() + "' '" +
                         (work / "en.po").string() + "'")
                            .c_str()),
            0);
  EXPECT_EQ(Play(work, script, {"--translation", (work / "en.mo").string()}).lines,
            (std::vector<std::string>{"One"}));

  // What is asked for must exist; a headless run takes no language from the
  // locale; "ja" is the game's own.
  EXPECT_EQ(Play(work, script, {"--translation", (work / "none.po").string()}).run.status, 2);
  EXPECT_EQ(Play(work, script, {"--lang", "en"}).run.status, 2);
  EXPECT_EQ(Play(work, script, {"--lang", "../en"}).run.status, 2);
  fs::create_directories(work / "game/translations");
  fs::copy_file(work / "en.po", work / "game/translations/en.po");
  EXPECT_EQ(Play(work, script, {"--lang", "en"}).lines, (std::vector<std::string>{"One"}));
  EXPECT_EQ(Play(work, script, {"--lang", "ja"}).lines, (std::vector<std::string>{"一"}));
  WriteCp932(work / "game/data/start.txt", script);
  WriteFile(work / "input", "");
  RunOptions locale;
  locale.cwd = work.path();
  locale.env = {"LANG=en_US.UTF-8", "LANGUAGE=en"};
  const RunResult english_locale =
      RunTsumugi({"--headless", "--text-log", (work / "log.txt").string(), "game"}, locale);
  EXPECT_EQ(english_locale.status, 0) << english_locale.err;
  EXPECT_EQ(Logged(work / "log.txt"), (std::vector<std::string>{"一"}));
}

}  // namespace
}  // namespace tsumugi::test
