// "tsumugi explore": small games whose graphs are known, played whole by
// the real program, their reports compared with what a reader of the
// scenario expects; the storyboard opened in a headless browser; bad games
// and bad folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "platform/gdi/png_writer.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;
using nlohmann::json;

struct Explored {
  RunResult run;
  json report;
  fs::path out;
};

Explored Explore(const TempDir& work, const std::string& script, std::vector<std::string> extra = {},
                 bool with_pictures = false) {
  const fs::path game = work / "game";
  WriteCp932(game / "data/start.txt", script);
  if (with_pictures) {
    for (const char* name : {"note.bmp", "note_down.bmp", "sun.bmp", "sun_down.bmp", "sun_hit.bmp"}) {
      fs::copy_file(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data" / name, game / "data" / name,
                    fs::copy_options::overwrite_existing);
    }
  }
  Explored e;
  e.out = work / "out";
  std::vector<std::string> args = {"explore", "--jobs", "1", "--out", e.out.string()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(game.string());
  RunOptions options;
  options.cwd = work.path();
  options.timeout_seconds = 120;
  e.run = RunTsumugi(args, options);
  if (fs::exists(e.out / "report.json")) e.report = json::parse(ReadFile(e.out / "report.json"));
  return e;
}

// Each path as "choice>choice = end at", for comparing with a set written
// by hand; errors also name the start of their message.
std::multiset<std::string> Paths(const json& report) {
  std::multiset<std::string> paths;
  for (const json& p : report["paths"]) {
    std::string text;
    for (const json& c : p["choices"]) text += (text.empty() ? "" : ">") + c.get<std::string>();
    text += " = " + p["end"].get<std::string>() + " " + p["at"].get<std::string>();
    paths.insert(text);
  }
  return paths;
}

constexpr const char* kBranches =
    ".tsw\n"
    "はじめ\n"
    ".slt\n"
    "北へ\n"
    "南へ\n"
    ".\n"
    ".1\n"
    ".tcl 0 0\n"
    ".slt\n"
    "森\n"
    "湖\n"
    ".\n"
    ".1\n"
    ".jmp start forest\n"
    ".2\n"
    ".pic nothing\n"
    ".\n"
    ".2\n"
    ".tcl 0 0\n"
    ".jmp start goal\n"
    ".\n"
    ":forest\n"
    "森だけが知る行\n"
    ".tcl 0 0\n"
    ":goal\n"
    "おわり\n"
    ".tcl 0 0\n"
    ".end\n"
    "誰も読まない行\n";

TEST(Explore, MenusInsideBranchesErrorsAndUnreachedLines) {
  TempDir work;
  const Explored e = Explore(work, kBranches);
  EXPECT_EQ(e.run.status, 1) << e.run.err;
  EXPECT_EQ(Paths(e.report), (std::multiset<std::string>{"北へ>森 = end start.txt:28",
                                                        "北へ>湖 = error start.txt:16",
                                                        "南へ = repeat start.txt:27"}))
      << e.report.dump(1);
  for (const json& p : e.report["paths"]) {
    if (p["end"] == "error") {
      EXPECT_NE(p["error"].get<std::string>().find("nothing"), std::string::npos) << p;
    }
  }
  // Only the line after ".end" was never reached; the label only the
  // forest reaches was.
  ASSERT_EQ(e.report["unreached"].size(), 1u) << e.report["unreached"];
  EXPECT_EQ(e.report["unreached"][0], (json{{"file", "start.txt"}, {"line", 29}, {"text", "誰も読まない行"}}));
  EXPECT_EQ(e.report["lines_reached"].get<int>() + 1, e.report["lines"].get<int>());
  // Two menus, the second inside the first's branch; every choice leads
  // on from its menu.
  ASSERT_EQ(e.report["nodes"].size(), 2u);
  EXPECT_EQ(e.report["nodes"][0]["ways"][0]["to"], 1);
  // The coverage counts the forest's line once, the unread line never.
  const std::string coverage = ReadFile(e.out / "coverage.info");
  EXPECT_NE(coverage.find("DA:23,1\n"), std::string::npos) << coverage;
  EXPECT_NE(coverage.find("DA:29,0\n"), std::string::npos) << coverage;
  // Every page the report names is a picture, and each picture is a page
  // the report names: the same page reached twice is written once.
  std::set<std::string> pages;
  for (const json& page : e.report["start"]["pages"]) pages.insert(page.get<std::string>());
  for (const json& node : e.report["nodes"]) {
    pages.insert(node["page"].get<std::string>());
    for (const json& way : node["ways"]) {
      for (const json& page : way["pages"]) pages.insert(page.get<std::string>());
    }
  }
  for (const std::string& page : pages) EXPECT_TRUE(fs::is_regular_file(e.out / page)) << page;
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(e.out / "pages"),
                                              fs::directory_iterator())),
            pages.size());
}

TEST(Explore, ButtonsAreTakenAtTheirCentres) {
  TempDir work;
  const Explored e = Explore(work,
                             ".btn\n"
                             "note note_down 16 16 1\n"
                             "sun sun_down sun_hit 72 16 2\n"
                             ".\n"
                             ".1\n"
                             ".jmp start one\n"
                             ".2\n"
                             ".jmp start two\n"
                             ".\n"
                             ".bsw\n"
                             "押してください\n"
                             ".clk 0\n"
                             ".end\n"
                             ":one\n"
                             ".bhd 0\n"
                             "一つ目\n"
                             ".tcl 0 0\n"
                             ".end\n"
                             ":two\n"
                             ".pic missing\n",
                             {}, /*with_pictures=*/true);
  EXPECT_EQ(e.run.status, 1) << e.run.err;
  EXPECT_EQ(Paths(e.report), (std::multiset<std::string>{" = end start.txt:13",
                                                        "button 1 = end start.txt:18",
                                                        "button 2 = error start.txt:20"}))
      << e.report.dump(1);
  ASSERT_EQ(e.report["nodes"].size(), 1u);
  EXPECT_EQ(e.report["nodes"][0]["kind"], "buttons");
  EXPECT_EQ(e.report["nodes"][0]["at"], "start.txt:12");
}

// A menu that leads back to itself ends there; menus whose branches meet
// again are explored once each.
TEST(Explore, StatesMetAgainEndThePath) {
  TempDir loop;
  const Explored again = Explore(loop,
                                 ":top\n"
                                 ".tsw\n"
                                 "もう一度？\n"
                                 ".slt\n"
                                 "はい\n"
                                 "いいえ\n"
                                 ".\n"
                                 ".1\n"
                                 ".tcl 0 0\n"
                                 ".jmp start top\n"
                                 ".2\n"
                                 ".end\n"
                                 ".\n");
  EXPECT_EQ(again.run.status, 0) << again.run.err;
  EXPECT_EQ(Paths(again.report),
            (std::multiset<std::string>{"はい>はい = repeat start.txt:9", "はい>いいえ = end start.txt:12",
                                        "いいえ = end start.txt:12"}))
      << again.report.dump(1);

  // Eight menus in a row, each of whose two choices lead to the same next
  // page: 256 ways through as written, eight menus explored.
  std::string script = ".tsw\n";
  for (int i = 0; i < 8; ++i) {
    script += "どちら？\n.slt\n右\n左\n.\n.1\n.skp\n.2\n.skp\n.\n合流\n.tcl 0 0\n";
  }
  script += ".end\n";
  TempDir merge;
  const Explored met = Explore(merge, script);
  EXPECT_EQ(met.run.status, 0) << met.run.err;
  EXPECT_EQ(met.report["nodes"].size(), 8u);
  EXPECT_EQ(met.report["paths"].size(), 9u) << Paths(met.report).size();

  // The same with two jobs at once: menus that meet are still explored once.
  TempDir merge2;
  const Explored met2 = Explore(merge2, script, {"--jobs", "2"});
  EXPECT_EQ(met2.run.status, 0) << met2.run.err;
  EXPECT_EQ(met2.report["nodes"].size(), 8u);
}

TEST(Explore, LimitsCutEndlessGames) {
  // Every choice leads to a new menu: the count never repeats.
  const std::string endless =
      ":top\n"
      ".let on = on + 1\n"
      ".tsw\n"
      "[on]回目\n"
      ".slt\n"
      "進む\n"
      "進む\n"
      ".\n"
      ".1\n"
      ".skp\n"
      ".2\n"
      ".skp\n"
      ".\n"
      ".tcl 0 0\n"
      ".jmp start top\n";
  TempDir paths;
  const Explored cut = Explore(paths, endless, {"--max-paths", "20"});
  EXPECT_EQ(cut.run.status, 3) << cut.run.err;
  EXPECT_TRUE(cut.report["cut"].get<bool>());
  size_t limits = 0;
  for (const json& p : cut.report["paths"]) limits += p["end"] == "limit";
  EXPECT_GE(limits, 1u) << cut.report["paths"];
  EXPECT_LE(cut.report["paths"].size(), 22u);

  TempDir waits;
  const Explored deep = Explore(waits, endless, {"--max-waits", "30"});
  EXPECT_EQ(deep.run.status, 3) << deep.run.err;
  EXPECT_FALSE(deep.report["cut"].get<bool>());
  // The deepest paths went on to their 31st wait, a menu and a page each
  // round.
  std::vector<json> deepest;
  for (const json& p : deep.report["paths"]) {
    if (p["end"] == "limit") deepest.push_back(p);
  }
  ASSERT_FALSE(deepest.empty()) << deep.report["paths"];
  for (const json& p : deepest) {
    EXPECT_EQ(p["choices"].size(), 15u) << p;
    EXPECT_EQ(p["at"], "start.txt:8") << p;
  }
}

TEST(Explore, BadGamesAndFolders) {
  TempDir first;
  const Explored broken = Explore(first, ".pic nothing\n");
  EXPECT_EQ(broken.run.status, 1) << broken.run.err;
  EXPECT_EQ(Paths(broken.report), (std::multiset<std::string>{" = error start.txt:1"}));

  // An output folder that cannot be made: nothing played, exit 4.
  TempDir unwritable;
  WriteFile(unwritable / "file", "x");
  WriteCp932(unwritable / "game/data/start.txt", ".end\n");
  const RunResult no_out = RunTsumugi(
      {"explore", "--out", (unwritable / "file/out").string(), (unwritable / "game").string()},
      unwritable.path());
  EXPECT_EQ(no_out.status, 4) << no_out.err;
  EXPECT_NE(no_out.err.find("cannot write into"), std::string::npos) << no_out.err;

  // Bad command lines.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"explore", "--jobs", "0"}, {"explore", "--max-paths", "x"},
        {"explore", "--frobnicate"}, {"explore", "a", "b"}}) {
    EXPECT_EQ(RunTsumugi(args, unwritable.path()).status, 2) << args.back();
  }

  // 50,000 lines on one path: explored whole, every line reached.
  std::string long_script = ".tsw\n";
  for (int page = 0; page < 1000; ++page) {
    for (int line = 0; line < 48; ++line) long_script += ".let on = " + std::to_string(line) + "\n";
    long_script += "頁\n.tcl 0 0\n";
  }
  long_script += ".end\n";
  TempDir large;
  const Explored big = Explore(large, long_script);
  EXPECT_EQ(big.run.status, 0) << big.run.err;
  EXPECT_GE(big.report["lines"].get<int>(), 50000);
  EXPECT_EQ(big.report["lines_reached"], big.report["lines"]);
}

// The storyboard of the sample game in Debian's Chromium: every branch has
// its section, and an error is drawn in red.
TEST(Explore, StoryboardOpensInABrowser) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  TempDir work;
  const Explored e = Explore(work, kBranches);
  ASSERT_EQ(e.run.status, 1) << e.run.err;
  const std::string html = ReadFile(e.out / "index.html");
  size_t ways = 1;  // the start
  for (const json& node : e.report["nodes"]) ways += node["ways"].size();
  for (size_t i = 0; i < ways; ++i) {
    EXPECT_NE(html.find("id=\"branch-" + std::to_string(i) + "\""), std::string::npos) << i;
  }
  EXPECT_NE(html.find("<svg"), std::string::npos);
  const fs::path shot = work / "shot.png";
  const std::string command = "cd '" + work.path().string() +
                              "' && HOME='" + work.path().string() +
                              "' timeout 120 chromium --headless --no-sandbox --disable-gpu "
                              "--window-size=1200,2400 --screenshot='" + shot.string() + "' 'file://" +
                              (e.out / "index.html").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  gdi::Surface picture;
  std::string error;
  ASSERT_TRUE(gdi::ReadPng(shot.string(), &picture, &error)) << error;
  // The error's text and its box in the graph are red (#c00 and red).
  size_t red = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const uint32_t p = picture.GetPixel(x, y);
      const int r = p & 0xFF, g = (p >> 8) & 0xFF, b = (p >> 16) & 0xFF;
      red += r > 180 && g < 60 && b < 60;
    }
  }
  EXPECT_GT(red, 50u);
}

}  // namespace
}  // namespace tsumugi
