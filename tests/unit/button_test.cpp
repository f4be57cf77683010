// Picture button definitions that cannot work (the buttons' looks, what a
// press hits and where it leads are played by the scenarios).
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
