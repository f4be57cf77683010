// Picture buttons as the player sees and uses them: their looks while held,
// what a press hits, showing and hiding them, the return through a button
// memory, and definitions that cannot work.
#include <gtest/gtest.h>

#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

constexpr uint32_t kKey = 0xFF00FF;
constexpr uint32_t kUp = 0xFF0000;    // body of the normal look
constexpr uint32_t kDown = 0x00FF00;  // body of the pressed look

// Button 1 at (100, 200) without a hit map, button 2 at (200, 200) whose
// hit map is black on its left half only. Both pictures are 40 x 20 with a
// two-pixel key-colour frame.
constexpr const char* kButtons =
    ".btn\nup down 100 200 3\nup down hit 200 200 4\n.\n.1\n.took1\n.2\n.took2\n.\n";

constexpr uint32_t kMarker = 0x00FFFF;

void ButtonPictures(TextGame& g) {
  auto framed = [](uint32_t body) {
    return [body](int x, int y) { return (x < 2 || y < 2 || x > 37 || y > 17) ? kKey : body; };
  };
  g.Picture("up.bmp", 40, 20, framed(kUp));
  g.Picture("down.bmp", 40, 20, framed(kDown));
  g.Picture("hit.bmp", 40, 20, [](int x, int) { return x < 20 ? 0x000000u : 0xFFFFFFu; });
  g.Picture("clk.bmp", 8, 8, [](int x, int y) { return x == 0 || y == 0 ? kKey : kMarker; });
}

class ButtonGame : public ChoiceGame {
 public:
  // `before_wait` runs after the buttons are defined, between the page text
  // (in a window over the top of the screen) and its click wait.
  ButtonGame(const std::string& before_wait, const std::string& input,
             const std::string& buttons = kButtons)
      : ChoiceGame(buttons +
                       ".mst clk clk 2 600 10 500\n.txt canvas size 640 100\n.tsw\n.tsp 0\n"
                       "ページ\n" +
                       before_wait + ".clk 0\n.after\n",
                   input) {
    ButtonPictures(*this);
  }
};

TEST(Buttons, AMenuOverAHeldButtonKeepsItsCanvasOnTop) {
  // The text window opens over button 1 and takes the screen under it,
  // the button's normal look included, as its background. Held at a menu,
  // the button is drawn pressed; the next hover tick puts the canvas back
  // over it, as every tick does while buttons are on the screen, so the
  // normal look shows again before the button's own 50 ms tick.
  for (const auto& [input, look] : {std::pair{"wait 5\n", kDown}, std::pair{"wait 15\n", kUp}}) {
    ChoiceGame g(std::string(kButtons) +
                     ".bsw\n.txt canvas size 640 300\n.tsw\n.tsp 0\n.slt\n一\n二\n.\n"
                     ".1\n.took1\n.2\n.took2\n.\n",
                 std::string("move 600 400\nwait 21\npress left 110 210\n") + input);
    ButtonPictures(g);
    EXPECT_EQ(g.Run(), ExitStatus::kNormal);
    EXPECT_EQ(g.Screen(110, 210), look) << input;
  }
}

TEST(Buttons, WhatThePlayerSeesAndTakes) {
  struct Case {
    const char* script;  // after the page text
    const char* input;
    uint32_t look;      // of button 1 at the end
    const char* probe;  // "": the run ends at the wait, its marker shown
  };
  const Case cases[] = {
      // Held down: the pressed look; moved off, the normal look at the next
      // 50 ms tick and not before; moved back on, pressed again.
      {".bsw\n", "press left 110 210\n", kDown, ""},
      {".bsw\n", "press left 110 210\nmove 300 300\nwait 40\n", kDown, ""},
      {".bsw\n", "press left 110 210\nmove 300 300\nwait 55\n", kUp, ""},
      {".bsw\n", "press left 110 210\nmove 300 300\nwait 55\nmove 110 210\nwait 50\n", kDown, ""},
      // Released on the button: taken. Released elsewhere: the wait goes on
      // and a click resumes it.
      {".bsw\n", "press left 110 210\nrelease left 110 210\n", kUp, ".took1"},
      {".bsw\n", "press left 110 210\nrelease left 300 300\nclick 300 300\n", kUp, ".after"},
      // The key colour of a button without a hit map is no part of it; with
      // a hit map its black pixels decide, whatever the picture shows.
      {".bsw\n", "click 101 201\n", kUp, ".after"},
      {".bsw\n", "click 201 201\n", kUp, ".took2"},
      {".bsw\n", "click 230 210\n", kUp, ".after"},
      // Hidden with 0 the screen comes back; shown twice, the second time
      // over the first, hiding puts back the buttons themselves.
      {".bsw\n.bhd 0\n", "", 0x000000, ""},
      {".bsw\n.bsw\n.bhd 0\n", "", kUp, ""},
      // Hidden with anything but 0: the pictures stay, presses go through.
      {".bsw\n.bhd 1\n", "click 110 210\n", kUp, ".after"},
      {".bsw\n.bhd 2\n", "", kUp, ""},
      // Defined but never shown: nothing to see or press.
      {"", "click 110 210\n", 0x000000, ".after"},
  };
  for (const Case& c : cases) {
    ButtonGame g(c.script, c.input);
    g.Run();
    const std::string what = std::string(c.script) + c.input;
    EXPECT_EQ(g.Screen(110, 210), c.look) << what;
    EXPECT_EQ(g.Screen(100, 200), 0x000000u) << "the key colour shows the screen";
    if (*c.probe) {
      EXPECT_EQ(g.Probe(), c.probe) << what;
      continue;
    }
    EXPECT_EQ(g.Output(), "") << what;
    EXPECT_EQ(g.Screen(604, 14), kMarker) << what;
    EXPECT_EQ(g.text().TextLines[0].Text, u"ページ") << what;
  }
}

TEST(Buttons, ExitReturnsToThePageTheButtonKept) {
  // The branch of button 1 types over the page and goes back through
  // memory 3, which the press filled at the ".clk" wait.
  const std::string buttons =
      ".btn\nup down 100 200 3\n.\n.1\n.tcl 2 0\n別の話\n.btn exit 3 MODE 1\n.\n";
  for (const char* mode : {"1", "0"}) {
    std::string defs = buttons;
    defs.replace(defs.find("MODE"), 4, mode);
    ButtonGame g(".bsw\n", "click 110 210\n", defs);
    g.Run();
    EXPECT_EQ(g.text().TextLines[0].Text, u"ページ") << mode;
    EXPECT_EQ(g.text().TextLines[1].Text, u"") << mode;
    if (*mode == '1') {
      EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitClick);
      EXPECT_EQ(g.Output(), "");
    } else {
      EXPECT_EQ(g.Probe(), ".after");
    }
    const PageMemory& m = g.engine().state.buttons.ButtonMemories[3];
    EXPECT_EQ(m.Line, 14) << "the line before the wait";
    EXPECT_EQ(m.LastLine, 0);
  }
}

TEST(Buttons, ABlockInsideAChoiceBranchIsPassedOverWhole) {
  // The definition list ends with "."; the search for choice 2 must not take
  // that line for the end of the button block.
  const std::string script =
      ".tsw\n.tsp 0\n.slt\n一\n二\n.\n"
      ".1\n.btn\nup down 100 200 0\n.\n.1\n.tookb\n.\n.bsw\n.clk 0\n.skp\n"
      ".2\n.took2\n.\n";
  const std::pair<const char*, const char*> cases[] = {
      {"click 10 40\n", ".took2"},
      {"click 10 8\nclick 110 210\n", ".tookb"},
  };
  for (const auto& [input, probe] : cases) {
    ChoiceGame g(script, input);
    ButtonPictures(g);
    EXPECT_EQ(g.Run(), ExitStatus::kError) << input;
    EXPECT_EQ(g.Probe(), probe) << input;
  }
}

TEST(Buttons, DefinitionsThatCannotWork) {
  std::string most = ".btn\n";
  for (int i = 0; i < Buttons::kMaxButtons; ++i) most += "up down 0 0 0\n";
  std::string many = most;
  for (int i = Buttons::kMaxButtons; i < 10000; ++i) many += "up down 0 0 0\n";
  struct Case {
    std::string buttons;
    const char* input;
    std::string expect;  // the probe reached, or a part of the report
  };
  const Case cases[] = {
      {".btn\nup down 0 0 10\n.\n.\n", "", "メモリー番号が不正です"},
      // Refused at the 257th definition (line 258).
      {many + ".\n.\n", "", "258」\r\n\r\nボタンは２５６個までしか定義できません"},
      {most + ".\n.\n", "click 600 400\n", ".after"},
      // Pictures of more than sixteen screens together.
      {".btn\nbig big 0 0 0\nbig big 0 0 0\nup down 0 0 0\n.\n.\n", "",
       "ボタンの画像が大きすぎます"},
      {".btn\nempty up 0 0 0\n.\n.\n", "", "はピクチャーファイルとして読み込めません"},
      // A hit map smaller than its button: beyond it nothing is hit; one
      // larger: nothing beyond the button is.
      {".btn\nup down small 0 0 0\n.\n.1\n.took1\n.\n", "click 30 15\n", ".after"},
      {".btn\nup down wide 0 0 0\n.\n.1\n.took1\n.\n", "click 40 5\n", ".after"},
      // Far outside the screen; larger than the screen.
      {".btn\nup down 2147483647 -2147483648 0\nup down -5000 2147483000 0\n.\n.\n",
       "click 639 479\n", ".after"},
      {".btn\nbig big -30 -10 0\n.\n.1\n.took1\n.\n", "click 639 479\n", ".took1"},
  };
  for (const Case& c : cases) {
    ButtonGame g(".bsw\n", c.input, c.buttons);
    g.Picture("small.bmp", 10, 10, [](int, int) { return 0u; });
    g.Picture("wide.bmp", 60, 20, [](int, int) { return 0u; });
    g.File("empty.bmp", BitmapBytes(0, 0, [](int, int) { return 0u; }));
    if (c.buttons.find("big") != std::string::npos) {
      g.Picture("big.bmp", 1280, 960, [](int x, int y) { return x + y == 0 ? kKey : kUp; });
    }
    EXPECT_EQ(g.Run(), ExitStatus::kError);
    if (c.expect[0] == '.') {
      EXPECT_EQ(g.Probe(), c.expect) << c.buttons.substr(0, 40);
    } else {
      const std::string text = g.OnlyMessage();
      EXPECT_NE(text.find(c.expect + "\r\n"), std::string::npos) << text;
    }
  }
}

}  // namespace
}  // namespace tsumugi::test
