#include "support/playable_game.h"

#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi::test {

namespace fs = std::filesystem;

void PlayableGameMaker::WriteAssets(const fs::path& game) {
  const fs::path sample = fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data";
  const fs::path data = game / "data";
  fs::create_directories(data);
  for (const auto& entry : fs::directory_iterator(sample)) {
    if (entry.path().extension() == ".bmp") {
      fs::copy_file(entry.path(), data / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
    }
  }
  // Short media, so that they end, loop and overlap within a game.
  WriteFile(data / "tone.wav", MakeWav(1500, 22050, 1, 660));
  WriteFile(data / "beep.wav", MakeWav(300, 11025, 2, 990));
  WriteFile(data / "song.mid", MakeMidiNote(2500));
  WriteFile(data / "tune.mp3", MakeMp3(800));
  WriteFile(game / "cd/track02.wav", MakeWav(700, 22050, 1, 440));
  WriteFile(game / "cd/track03.wav", MakeWav(500, 22050, 1, 550));
  VideoParams video;
  video.width = 64;
  video.height = 48;
  video.frames = 6;
  std::string error;
  WriteVideo(data / "movie.avi", video, &error);
  WriteCp932(data / "config.txt", ".int n\n.int m\n.str s\n.scr 2\n");
}

const char* PlayableGameMaker::Pick(std::initializer_list<const char*> items) {
  return items.begin()[Below(static_cast<int>(items.size()))];
}

std::string PlayableGameMaker::Text() {
  static constexpr const char* kWords[] = {"朝の光が差し込んできました。",
                                           "「おはよう」",
                                           "[n]回目です。",
                                           "[s]と書いてある。",
                                           "川の水は冷たい。",
                                           "ABCdef 123",
                                           "遠くで鐘が鳴った。",
                                           "長い長い長い長い長い長い長い長い一行。",
                                           "短い。",
                                           "\\n改行のあと"};
  return kWords[Below(static_cast<int>(std::size(kWords)))];
}

std::string PlayableGameMaker::Menu(int depth) {
  const int count = 2 + Below(2);
  std::string block = ".slt\n";
  for (int i = 1; i <= count; ++i)
    block += std::string(Pick({"はい", "いいえ", "丘へ", "川へ"})) + "\n";
  block += Below(4) == 0 ? ".0\n" + Line(depth + 1) + "\n.1\n" : ".\n.1\n";
  for (int i = 1; i <= count; ++i) {
    if (i > 1) block += "." + std::to_string(i) + "\n";
    block += Scene(depth + 1) + ".skp\n";
  }
  return block + ".";
}

std::string PlayableGameMaker::Buttons(int depth) {
  std::string block =
      ".btn\nnote note_down 16 16 1\nsun sun_down sun_hit 72 16 2\ndisk disk_down 128 16 3\n.\n";
  for (int i = 1; i <= 3; ++i) {
    block += "." + std::to_string(i) + "\n" + Scene(depth + 1);
    block += ".btn exit " + std::to_string(i) + " " + Pick({"1", "0"}) + " 1\n";
  }
  return block + ".\n.bsw\n" + Text() + "\n.clk 0\n.bhd " + Pick({"0", "1"});
}

std::string PlayableGameMaker::Line(int depth) {
  switch (Below(40)) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      return Text();
    case 7:
    case 8:
      return Pick({".tcl 0 0", ".tcl 0 1", ".tcl 1 0", ".tcl 0 2"});
    case 9:
    case 10:
      return Pick({".clk 0", ".clk 1"});
    case 11:
      return std::string(".wat ") + Pick({"0", "30", "200", "1000"});
    case 12:
      return std::string(".tsp ") + Pick({"0 0", "1 1", "20 1", "50 0", "200 1"});
    case 13:
      return Pick({".pic bg1 0", ".pic bg2 0", ".pic bg1 1 20", ".pic bg2 1 10"});
    case 14:
      return Pick({".spr chara 0010 30 220 96", ".spr chara 0 0 100 50", ".spr chara 0 0 -20 300"});
    case 15:
      return Pick({".pic off1 bg2", ".spr off1 chara 0 0 220 96", ".pic screen off1 0010 10",
                   ".pic off2 screen", ".pic screen off2 0"});
    case 16:
      window_shown_ = Below(2) == 0;
      return window_shown_ ? ".tsw" : Pick({".thd 0", ".thd 1"});
    case 17:
      return Pick({".let n = n + 1", ".let m = n * 3 - 1", ".let s = [n]と[m]", ".let flag010 = 1",
                   ".let flag010 = 0"});
    case 18:
      return Pick({".rnd n 0 9", ".rnd m 1 3", ".now n = second", ".now m = millisecond"});
    case 19:
      return depth < 2 ? ".cas n\n.= 1\n" + Scene(depth + 1) + ".skp\n.els\n" + Text() + "\n.skp\n."
                       : Text();
    case 20:
    case 21:
      return depth < 2 ? Menu(depth) : Text();
    case 22:
      return depth < 1 ? Buttons(depth) : Text();
    case 23:
      return depth < 1 ? std::string(".mmd 0 1\n.rcl 0\n") + Text() + "\n.tcl 0 0\n.rcl exit 0 " +
                             Pick({"1", "0"}) + " 1\n.\n" + Text() + "\n.clk 0\n.mmd 0 0"
                       : Text();
    case 24:
      return Pick({".wav beep 0", ".wav tone 0", ".wav beep 1", ".wav tone 2", ".wav stop 0"});
    case 25:
      return Pick({".mid song 0", ".mid song 1", ".mid stop 0", ".mp3 tune 0", ".mp3 tune 1",
                   ".mp3 stop 0"});
    case 26:
      return Pick({".acd 2 0", ".acd 3 1", ".acd stop 0"});
    case 27:
      return window_shown_ ? Text()
                           : std::string(".avi movie ") + Pick({"0", "1"}) + " " + Pick({"0", "1"});
    case 28:
      return Pick({".tpr 20 20 見出し[n]", ".tpr off1 40 40 ページに", ".tpr font align 1",
                   ".tpr font color usual FFE080"});
    case 29:
      // The second scenario calls no further: it would call itself for ever.
      return in_other_ ? Text() : Pick({".sub other a 1", ".sub other b 2"});
    case 30:
      return Pick({".mcm 120 400", ".mcm 320 200", ".mmd 1 0", ".mmd 0 0", ".mmd 0 2"});
    case 31:
      return Pick({".mst tcl clk 0 4 5 500", ".mst tcl clk 2 0 0 300", ".mst off"});
    case 32:
      return window_shown_ ? Text() : std::string(".bsc ") + Pick({"000000", "203040"});
    case 33:
      return Pick({".sav save1", ".lod save1", ".lod save1 n", ".lod save1 flag010"});
    case 34:
      return Pick(
          {".txt font color usual FFFFFF", ".txt font color selected FFE080", ".tmd 1", ".tmd 0"});
    case 35:
      return ".cap " + Text();
    case 36:
      // Rarely: a game that ends with a report.
      return Below(10) == 0 ? Pick({".unknown", ".jmp nowhere"}) : Text();
    default:
      return Text();
  }
}

std::string PlayableGameMaker::Scene(int depth) {
  std::string scene;
  for (int i = 1 + Below(depth == 0 ? 8 : 3); i > 0; --i) scene += Line(depth) + "\n";
  return scene;
}

std::string PlayableGameMaker::Input() {
  std::string input;
  for (int i = 8 + Below(24); i > 0; --i) {
    switch (Below(12)) {
      case 0:
        input += "rclick 320 400\n";
        break;
      case 1:
        input += std::string("key ") + Pick({"Enter", "Space", "Down", "Right"}) + "\n";
        break;
      case 2:
        // Over a choice, resting there while the highlight follows.
        input += "move 100 " + std::to_string(335 + 30 * Below(3)) + "\nwait 30\n";
        input += "click 100 " + std::to_string(335 + 30 * Below(3)) + "\n";
        break;
      case 3:
        // On a button.
        input += "click " + std::to_string(30 + 56 * Below(3)) + " 30\n";
        break;
      case 4:
        // During typing or a pause: the press comes at its time.
        input += "wait " + std::to_string(Below(600)) + "\nclick 320 400\n";
        break;
      case 5:
        input +=
            "press right 320 400\nwait " + std::to_string(Below(300)) + "\nrelease right 320 400\n";
        break;
      default:
        input += "click 320 400\n";
    }
  }
  return input;
}

std::string PlayableGameMaker::MakeGame(const fs::path& game) {
  window_shown_ = false;
  std::string start = std::string(
                          ".cap 紬のテスト\n.txt space pic window\n.txt space pos 0 312\n"
                          ".txt canvas pos 28 18\n.txt canvas size 584 124\n"
                          ".txt maxline 4\n.txt font size 24\n.txt font leading 6\n") +
                      (Below(2) ? ".mst tcl clk 0 4 5 500\n" : "") +
                      (Below(3) ? ".tsp 20 1\n" : ".tsp 0 0\n");
  if (Below(4) != 0) {
    start += ".tsw\n";
    window_shown_ = true;
  }
  for (int i = 2 + Below(5); i > 0; --i) start += Scene(0);
  if (Below(2)) start += ".end\n";
  WriteCp932(game / "data/start.txt", start);
  in_other_ = true;
  WriteCp932(game / "data/other.txt",
             ":a\n" + Text() + "\n.tcl 0 0\n.sub exit 1\n:b\n" + Scene(1) + ".sub exit 2\n");
  in_other_ = false;
  return Input();
}

}  // namespace tsumugi::test
