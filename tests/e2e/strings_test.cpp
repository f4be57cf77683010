// "tsumugi strings": the texts a player reads, as a gettext template that
// gettext's own tools accept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;

// How many times `part` stands in `text`.
size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Strings, TheSampleGamesTemplatePassesMsgfmt) {
  TempDir work;
  const fs::path game = CopyOfSampleGame(work);
  const RunResult run = RunTsumugi({"strings", "--out", (work / "sample.pot").string(), game.string()},
                                   work.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string pot = ReadFile(work / "sample.pot");
  // Text lines, both choices, the printed title and the caption, each with
  // its scenario and line.
  for (const char* expected :
       {"#: start.txt:28\nmsgctxt \"start.txt\"\nmsgid \"おはようございます。紬のサンプルゲームです。\"\n",
        "msgid \"丘の上まで登る\"\n", "msgid \"川沿いの道を歩く\"\n", "msgid \"第一話　朝の丘\"\n",
        "msgid \"紬 - サンプル\"\n", "msgctxt \"system.txt\"\nmsgid \"セーブしました。\"\n"}) {
    EXPECT_NE(pot.find(expected), std::string::npos) << expected << "\n" << pot;
  }
  // Commands, comments and labels are no text.
  EXPECT_EQ(pot.find("msgid \".tcl"), std::string::npos);
  EXPECT_EQ(pot.find("msgid \";"), std::string::npos);
  const std::string check = "msgfmt --check -o /dev/null '" + (work / "sample.pot").string() + "' 2>'" +
                            (work / "msgfmt.err").string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0) << ReadFile(work / "msgfmt.err");
}

TEST(Strings, SameTextsShareAnEntryAndSubstitutionsAreMarked) {
  TempDir work;
  WriteCp932(work / "game/data/start.txt",
             ".tsw\n"
             "また明日。\n"
             ".tcl 0 0\n"
             "[name]さん、こんにちは。\n"
             "引用符 \"と\" 逆斜線 \\n も。\n"
             "\tまた明日。\n"
             ".tpr off1 10 20 題名\n"
             ".tpr 5 6 左上\n"
             ".tpr font size 20\n"
             ".end\n");
  WriteCp932(work / "game/data/other.txt", "また明日。\n");
  const RunResult run = RunTsumugi({"strings", (work / "game").string()}, work.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string& pot = run.out;
  // One entry for the two lines of start.txt, another for other.txt's.
  EXPECT_NE(pot.find("#: start.txt:2 start.txt:6\nmsgctxt \"start.txt\"\nmsgid \"また明日。\"\n"),
            std::string::npos) << pot;
  EXPECT_EQ(Count(pot, "msgid \"また明日。\""), 2u) << pot;
  EXPECT_NE(pot.find("#. The game puts a value where a name stands in [ ]: keep each as it is.\n"
                     "#: start.txt:4\n"),
            std::string::npos) << pot;
  EXPECT_NE(pot.find("msgid \"引用符 \\\"と\\\" 逆斜線 \\\\n も。\"\n"), std::string::npos) << pot;
  EXPECT_NE(pot.find("msgid \"題名\"\n"), std::string::npos) << pot;
  EXPECT_NE(pot.find("msgid \"左上\"\n"), std::string::npos) << pot;
  EXPECT_EQ(pot.find("size 20"), std::string::npos) << pot;
  WriteFile(work / "out.pot", pot);
  const std::string check = "msgfmt --check -o /dev/null '" + (work / "out.pot").string() + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);

  // A folder with no game, and a template that cannot be written.
  EXPECT_EQ(RunTsumugi({"strings", (work / "nothing").string()}, work.path()).status, 2);
  fs::create_directories(work / "empty/data");
  EXPECT_EQ(RunTsumugi({"strings", (work / "empty").string()}, work.path()).status, 1);
  EXPECT_EQ(RunTsumugi({"strings", "--out", (work / "out.pot/x").string(), (work / "game").string()},
                       work.path())
                .status,
            4);
}

// "tsumugi check --translation": a catalogue held against its game.
TEST(Strings, CheckTranslationFindsStaleMissingAndBrokenEntries) {
  TempDir work;
  WriteCp932(work / "game/data/start.txt",
             ".tsw\n"
             "[name]さん、こんにちは。\n"
             "未訳の行。\n"
             "あいまい。\n"
             "空の訳。\n"
             "[name]は[name]。\n"
             "[name]が来た。\n"
             "未訳の行。\n"
             ".end\n");
  const std::string po = (work / "en.po").string();
  WriteFile(po,
            "msgid \"\"\n"
            "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n"
            "\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"[name]さん、こんにちは。\"\n"
            "msgstr \"Hello, [name].\"\n"
            "\n"
            "#, fuzzy\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"あいまい。\"\n"
            "msgstr \"Vague.\"\n"
            "\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"空の訳。\"\n"
            "msgstr \"\"\n"
            "\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"[name]は[name]。\"\n"
            "msgstr \"[name] is.\"\n"
            "\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"[name]が来た。\"\n"
            "msgstr \"[nmae] came.\"\n"
            "\n"
            "#: start.txt:40\n"
            "msgctxt \"start.txt\"\n"
            "msgid \"消えた行。\"\n"
            "msgstr \"Gone.\"\n");
  const std::string game = (work / "game").string();
  const RunResult run = RunTsumugi({"check", "--translation", po, game}, work.path());
  EXPECT_EQ(run.status, 1) << run.out << run.err;
  const std::string start = (fs::path(game) / "data/start.txt").string();
  std::string expected = po +
                         ": warning: \"消えた行。\" (msgctxt \"start.txt\", #: start.txt:40) is no "
                         "longer a text of the game\n";
  for (const char* finding :
       {"3: warning: not in the translation: \"未訳の行。\" (and on 1 more line)",
        "4: warning: the translation is marked fuzzy, so the game shows the text: \"あいまい。\"",
        "5: warning: not translated: \"空の訳。\"",
        "6: error: the translation's substitutions differ from the text's (missing [name]): "
        "\"[name]は[name]。\"",
        "7: error: the translation's substitutions differ from the text's (missing [name]; added "
        "[nmae]): \"[name]が来た。\""}) {
    expected += start + ":" + finding + "\n";
  }
  // Line 2's translation keeps its substitution: no finding.
  EXPECT_EQ(run.out, expected);
  EXPECT_NE(run.err.find("2 errors, 4 warnings"), std::string::npos) << run.err;
  const RunResult json = RunTsumugi({"check", "--json", "--translation", po, game}, work.path());
  ASSERT_EQ(json.lines().size(), 6u) << json.out;
  EXPECT_NE(json.lines()[4].find("\"line\":6,\"severity\":\"error\""), std::string::npos)
      << json.out;

  // A catalogue gettext cannot read: its file and line.
  WriteFile(work / "bad.po", "msgid \"a\"\nmsgstr \"b\"\nmsgstr oops\n");
  const RunResult bad =
      RunTsumugi({"check", "--translation", (work / "bad.po").string(), game}, work.path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out.rfind((work / "bad.po").string() + ":3: error: ", 0), 0u) << bad.out;
  EXPECT_EQ(Count(bad.out, "\n"), 1u) << bad.out;
}

}  // namespace
}  // namespace tsumugi
