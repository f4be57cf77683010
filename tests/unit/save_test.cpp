// Save files: the bytes of the format, the single flag and variable,
// damaged files, and saves that must never be lost (the name rules are
// played by the scenarios).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "common/text_codec.h"
#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kConfig = ".int score item[3]\n.str name\n";

// A game with variables, a scenario in a subfolder and `script` as "start".
class SaveGame : public TextGame {
 public:
  explicit SaveGame(const std::string& script)
      : TextGame({{"config.txt", kConfig}, {"story/ch1.txt", ";\n"}, {"start.txt", script}}) {}
  fs::path Data(const std::string& name) { return game() / "data" / name; }
  // Runs lines; true when none ended the engine.
  bool Lines(std::initializer_list<std::string> lines) {
    try {
      for (const std::string& line : lines) Line(line);
    } catch (const EngineEnded&) {
      return false;
    }
    return true;
  }
};

std::string Crlf(const std::string& utf8) {
  std::string out;
  for (char c : utf8) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return Utf16ToCp932(Utf8ToUtf16(out));
}

// Every memory kind filled, colours in their stored order (red lowest), a
// text with spaces, negative numbers, a scenario in a subfolder.
std::string Golden() {
  std::string s = ":MemSection\nstart\n3\n";
  for (int i = 1; i < 9; ++i) s += "\n0\n";
  s += "story\\ch1\n-12\n";
  s += "start\n7\n1 2\nFFFFFF 000000 一行目\n0000FF 00FF00 二 行 目  です\n";
  for (int i = 1; i < 10; ++i) s += "\n0\n-1 0\n";
  for (int i = 0; i < 10; ++i) {
    s += i == 4 ? "story\\ch1\n2\n0 1\n112233 445566  先頭に空白\n" : "\n0\n-1 0\n";
  }
  s += ":FlagSection\n0000000000000000\n0100000000000000\n";
  for (int i = 2; i < 15; ++i) s += "0000000000000000\n";
  s += "0000000000000001\n:VarSection\n";
  s += ".let cx = 0\n.let cy = 0\n.let item0 = 0\n.let item1 = 7\n.let item2 = 0\n.let off = 0\n"
       ".let on = 1\n.let score = -2147483648\n.let name = 花子 と  空白\n";
  return Crlf(s);
}

TEST(SaveFiles, AGoldenFileLoadsIntoItsStateAndSavesBackToTheSameBytes) {
  SaveGame g(";\n");
  g.Start();
  WriteFile(g.Data("golden.dat"), Golden());
  ASSERT_TRUE(g.Lines({".lod golden.dat", ".sav out.dat"})) << g.Output();
  EXPECT_EQ(ReadFile(g.Data("out.dat")), Golden());

  Engine& e = g.engine();
  const int ch1 = e.script.FindScenario(u"story\\ch1");
  EXPECT_EQ(e.state.calls.MemoryFile[9], ch1);
  EXPECT_EQ(e.state.calls.MemoryLine[9], -12);
  const PageMemory& recall = e.state.text.RecallMemories[0];
  EXPECT_EQ(recall.Line, 7);
  EXPECT_EQ(recall.CurrentLine, 2);
  EXPECT_EQ(recall.Lines[1].Text, u"二 行 目  です");
  EXPECT_EQ(recall.Lines[1].TextColour, 0x0000FFu);  // red, as ".txt" would store it
  EXPECT_EQ(recall.Lines[1].ShadowColour, 0x00FF00u);
  EXPECT_EQ(e.state.buttons.ButtonMemories[4].Lines[0].Text, u" 先頭に空白");
  EXPECT_TRUE(e.state.vars.Flags[17]);
  EXPECT_TRUE(e.state.vars.Flags[255]);
  EXPECT_EQ(e.state.vars.IntegerValues[e.vars.LookUpIntegerVariable(u"score")], INT32_MIN);
  EXPECT_EQ(e.state.vars.TextValues[e.vars.FindTextVariable(u"name")], u"花子 と  空白");
}

TEST(SaveFiles, SingleFlagsAndVariablesAndWhatFullLoadsDoWithVariables) {
  auto replaced = [](std::string from, const std::string& what, const std::string& with) {
    from.replace(from.find(what), what.size(), with);
    return from;
  };
  struct Case {
    std::string file;
    std::vector<std::string> lines;
    const char* expect;  // "flags" "name" "late" or a report
  };
  const std::string golden = Golden();
  const Case cases[] = {
      // Flag 17 is the second character of the second row; flag 16 the first.
      {golden, {".let flag016 = 1", ".lod in.dat flag017", ".lod in.dat flag016"}, "flags"},
      // A saved text passes through substitution again.
      {Crlf(":VarSection\n.let name = [score]\n"), {".let score = 5", ".lod in.dat name"}, "name"},
      {replaced(golden, Crlf("花子 と  空白"), Crlf("[item1]")), {".lod in.dat"}, "name"},
      // A variable the file does not know keeps its value.
      {golden, {".let late = 9", ".lod in.dat"}, "late"},
      // A line of a million characters, and bytes CP932 does not define, load.
      {replaced(replaced(golden, Crlf("一行目"), std::string(1000000, 'x')), Crlf("二 行"),
                "\x81\x20"),
       {".lod in.dat"},
       "long"},
      // A variable as long as a line of a save file may be loads.
      {golden + ".let name = " + std::string(kMaxSaveLineText - 12, 'y') + "\r\n",
       {".lod in.dat"},
       "longest"},
      // One the configuration no longer declares stops the load.
      {golden + Crlf(".let gone = 1\n"),
       {".lod in.dat"},
       "宣言されていない変数に代入しようとしました"},
  };
  for (const Case& c : cases) {
    TextGame g({{"config.txt", std::string(kConfig) + ".int late\n"}, {"story/ch1.txt", ";\n"}});
    g.Start();
    WriteFile(g.game() / "data" / "in.dat", c.file);
    Variables& v = g.engine().vars;
    const std::string what = c.expect;
    try {
      for (const std::string& line : c.lines) g.Line(line);
    } catch (const EngineEnded&) {
      EXPECT_NE(g.OnlyMessage().find(what), std::string::npos) << g.Output();
      continue;
    }
    EXPECT_EQ(g.Output(), "") << what;
    if (what == "flags") {
      EXPECT_TRUE(g.engine().state.vars.Flags[17]);
      EXPECT_FALSE(g.engine().state.vars.Flags[16]);
    } else if (what == "name") {
      EXPECT_TRUE(g.engine().state.vars.TextValues[v.FindTextVariable(u"name")] == u"5" ||
                  g.engine().state.vars.TextValues[v.FindTextVariable(u"name")] == u"7");
    } else if (what == "longest") {
      const std::u16string& name =
          g.engine().state.vars.TextValues[v.FindTextVariable(u"name")];
      EXPECT_TRUE(name == std::u16string(kMaxSaveLineText - 12, u'y')) << name.size();
    } else if (what == "long") {
      const PageMemory& m = g.engine().state.text.RecallMemories[0];
      EXPECT_EQ(m.Lines[0].Text.size(), 1000000u);
      EXPECT_EQ(m.Lines[1].Text, u"・  目  です");
    } else {
      EXPECT_EQ(g.engine().state.vars.IntegerValues[v.LookUpIntegerVariable(u"late")], 9);
      EXPECT_EQ(g.engine().state.vars.IntegerValues[v.LookUpIntegerVariable(u"item1")], 7);
    }
  }
}

TEST(SaveFiles, AFileThatIsNoSaveLoadsNothingAndSaysWhy) {
  const std::string golden = Golden();
  auto cut = [&](const std::string& what) {
    std::string s = golden;
    return s.erase(s.find(what), what.size());
  };
  std::string garbage;
  std::mt19937 random(7);
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>(random() % 255 + 1);
  const std::pair<std::string, const char*> cases[] = {
      {cut("\r\n:FlagSection"), "「:FlagSection」がありません"},
      {golden.substr(0, golden.find("0000FF")), "ファイルが途中で終わっています"},
      {cut("1 2\r\n").insert(golden.find("1 2\r\n"), "999999999 0\r\n"),
       "記憶した行の数が正しくありません"},
      {cut("1 2\r\n").insert(golden.find("1 2\r\n"), "64 0\r\n"),
       "記憶した行の数が正しくありません"},
      // Only ".let" lines restore variables: no other command runs.
      {golden + ".end\r\n", "変数の行は「.let 」で始まります"},
      {Crlf(":MemSection\nstart\nx\n"), "「x」は数値ではありません"},
      {std::string(golden).replace(golden.find("00FF00"), 6, "00FG00"),
       "「00FG00」は色ではありません"},
      {std::string(golden).insert(20, 1, '\0'), "テキストファイルではありません"},
      {garbage, "行目"},
      {"", "ファイルが途中で終わっています"},
      // Lines longer than any save holds: a variable, a stored line's text.
      {golden + ".let name = " + std::string(kMaxSaveLineText, 'x') + "\r\n",
       "行が長すぎます（2097152文字まで）"},
      {std::string(golden).insert(golden.find("FFFFFF 000000 ") + 14,
                                  std::string(kMaxSaveLineText, 'x')),
       "行が長すぎます"},
  };
  for (const auto& [file, why] : cases) {
    SaveGame g(";\n");
    g.Start();
    WriteFile(g.Data("save.txt"), file);
    const SaveState before = g.engine().saves.Capture();
    ASSERT_TRUE(g.Lines({".lod", ".let score = 1"})) << why;
    const std::string box = g.OnlyMessage();
    EXPECT_NE(box.find("を読み込めませんでした"), std::string::npos) << box;
    EXPECT_NE(box.find(why), std::string::npos) << box;
    g.engine().state.vars.IntegerValues[g.engine().vars.LookUpIntegerVariable(u"score")] = 0;
    EXPECT_EQ(g.engine().saves.Capture(), before) << why;
  }

  // One variable or flag of such a file: the flag is read before the line
  // too long, the variable is not.
  {
    SaveGame g(";\n");
    g.Start();
    WriteFile(g.Data("save.txt"),
              std::string(golden).insert(golden.find(":VarSection\r\n") + 13,
                                         ".let name = " + std::string(kMaxSaveLineText, 'x') +
                                             "\r\n"));
    ASSERT_TRUE(g.Lines({".lod save.txt flag017", ".lod save.txt name"}));
    EXPECT_TRUE(g.engine().state.vars.Flags[17]);
    EXPECT_NE(g.OnlyMessage().find("行が長すぎます"), std::string::npos) << g.Output();
    EXPECT_TRUE(g.engine().state.vars.TextValues[0].empty());
  }

  // A folder, a link to nowhere, a file too large to be a save.
  SaveGame g(";\n");
  g.Start();
  fs::create_directories(g.Data("dir.dat"));
  fs::create_symlink(g.Data("nowhere"), g.Data("save.txt"));
  fs::resize_file((WriteFile(g.Data("big.dat"), ""), g.Data("big.dat")),
                  SaveFiles::kMaxSaveBytes + 1);
  const SaveState before = g.engine().saves.Capture();
  ASSERT_TRUE(g.Lines({".lod", ".lod dir.dat", ".lod big.dat"}));
  EXPECT_EQ(g.engine().saves.Capture(), before);
  const std::string out = g.Output();
  EXPECT_NE(out.find("通常のファイルではありません"), std::string::npos) << out;
  EXPECT_NE(out.find("ファイルが大きすぎます"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << "a missing save is no error";
}

TEST(SaveFiles, ASaveIsNeverLostOrTorn) {
  SaveGame g(";\n");
  g.Start();
  ASSERT_TRUE(g.Lines({".let score = 1", ".sav"}));
  const std::string old_bytes = ReadFile(g.Data("save.txt"));

  // A crash between writing and replacing finds the old file in place, and
  // the new one whole beside it.
  std::string at_crash, beside;
  g.engine().saves.before_replace = [&] {
    at_crash = ReadFile(g.Data("save.txt"));
    for (const auto& entry : fs::directory_iterator(g.game() / "data")) {
      if (entry.path().filename().string().starts_with(".save.txt."))
        beside = ReadFile(entry.path());
    }
  };
  ASSERT_TRUE(g.Lines({".let score = 2", ".sav"}));
  EXPECT_EQ(at_crash, old_bytes);
  const std::string new_bytes = ReadFile(g.Data("save.txt"));
  EXPECT_EQ(beside, new_bytes);
  EXPECT_NE(new_bytes, old_bytes);
  g.engine().saves.before_replace = nullptr;

  // A write that fails (here: past the size a process may write) keeps the
  // old save, says so, and the game goes on.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  rlimit small = old_limit;
  small.rlim_cur = 300;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool went_on = g.Lines({".let score = 3", ".sav", ".let score = 4"});
  setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_TRUE(went_on);
  EXPECT_EQ(ReadFile(g.Data("save.txt")), new_bytes);
  EXPECT_NE(g.OnlyMessage().find("に書き込めませんでした"), std::string::npos) << g.Output();
  for (const auto& entry : fs::directory_iterator(g.game() / "data")) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".save")) << entry.path();
  }

  // What a writer killed before its rename left beside the save is removed
  // when that save is next written: files of our naming whose process is
  // gone (or had this process's number before it). A live writer's file,
  // other saves' files, other names and anything not a plain file stay.
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string self = std::to_string(getpid());
  const std::string dead = std::to_string(gone);
  const std::vector<std::string> stale = {".save.txt.tsumugi." + dead + ".3.tmp",
                                          ".save.txt.tsumugi." + self + ".77.tmp"};
  const std::vector<std::string> kept = {
      ".save.txt.tsumugi.1.0.tmp",  // process 1 is alive
      ".other.txt.tsumugi." + dead + ".1.tmp",
      ".save.txt.tmp." + dead + ".1",
      ".save.txt.tsumugi." + dead + ".x.tmp",
      ".save.txt.tsumugi.0" + dead + ".1.tmp",
      "save.txt.tsumugi." + dead + ".1.tmp",
      ".save.txt.tsumugi." + dead + ".1.tmp.bak"};
  for (const std::string& name : stale) WriteFile(g.Data(name), "half a save");
  for (const std::string& name : kept) WriteFile(g.Data(name), "someone's");
  fs::create_directory(g.Data(".save.txt.tsumugi." + dead + ".9.tmp"));
  ASSERT_TRUE(g.Lines({".sav"}));
  for (const std::string& name : stale) EXPECT_FALSE(fs::exists(g.Data(name))) << name;
  for (const std::string& name : kept) EXPECT_EQ(ReadFile(g.Data(name)), "someone's") << name;
  EXPECT_TRUE(fs::is_directory(g.Data(".save.txt.tsumugi." + dead + ".9.tmp")));

  // A character CP932 lacks: the file is UTF-8 with a byte-order mark.
  ASSERT_TRUE(g.Lines({".let name = 𠮷", ".sav u.dat", ".let name = x", ".lod u.dat"}));
  EXPECT_TRUE(ReadFile(g.Data("u.dat")).starts_with("\xEF\xBB\xBF:MemSection\r\n"));
  EXPECT_EQ(g.engine().state.vars.TextValues[0], u"𠮷");
}

}  // namespace
}  // namespace tsumugi::test
