#include "engine/cursor/cursor.h"

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine_end.h"
#include "engine/files/game_files.h"
#include "engine/script/command_args.h"
#include "platform/host.h"

namespace tsumugi {
namespace {

// The two numbers of ".mmd". Any other number leaves its setting alone.
enum class LeftButtonMode : int32_t { kWaits = 0, kSkips = 1 };
enum class RightButtonMode : int32_t { kClicks = 0, kReturns = 1, kOff = 2 };

}  // namespace

Cursor::Cursor(HostClock& clock, HostDialogs& dialogs, HostWindow& window, ScriptErrors& errors,
               GameFiles& files, InputState& input_state, CursorState& state)
    : clock_(clock),
      dialogs_(dialogs),
      window_(window),
      errors_(errors),
      files_(files),
      input_state_(input_state),
      s_(state) {}

Cursor::~Cursor() {
  // The host must not keep showing a picture that is about to be freed.
  if (image_) window_.SetCursorImage(nullptr);
}

// .cur NAME   or   .cur normal   (the name is the whole rest of the line)
bool Cursor::Cur(CommandArgs& args) {
  if (args.Form() == u"normal") {
    window_.SetCursorImage(nullptr);
    image_.reset();
    s_.Picture.clear();
    return false;
  }
  const std::u16string& name = args.Text(0);
  ShowPicture(name);
  s_.Picture = name;
  return false;
}

void Cursor::RebuildPicture() {
  if (s_.Picture.empty()) {
    window_.SetCursorImage(nullptr);
    image_.reset();
  } else {
    ShowPicture(s_.Picture);
  }
}

void Cursor::ShowPicture(const std::u16string& name) {
  const std::filesystem::path path = files_.MediaPath(name, u"cur");
  auto image = std::make_unique<gdi::CursorImage>();
  std::string error;
  if (!gdi::LoadCursorImage(path, image.get(), &error)) {
    // A file that is there but is no cursor or icon would otherwise leave
    // the author wondering why the pointer did not change.
    dialogs_.Diagnostic(PathToUtf8(path) + ": " + error);
    errors_.ScriptError(
        u"ファイル「" + Utf8ToUtf16(PathToUtf8(path)) + u"」はカーソルファイルとして読み込めません",
        false);
  }
  // The host switches to the new picture before the old one is freed.
  window_.SetCursorImage(image.get());
  image_ = std::move(image);
}

// .mcm X Y
bool Cursor::Mcm(CommandArgs& args) {
  const int32_t x = args.Integer(0);
  const int32_t y = args.Integer(1);
  // The host's pointer position is already in the drawing area's pixels.
  MovePointer({x, y});
  return false;
}

void Cursor::MovePointer(Point target) {
  const Point start = window_.GetCursorPos();
  const int64_t dx = int64_t{target.x} - start.x;
  const int64_t dy = int64_t{target.y} - start.y;
  for (int i = 1; i <= kGlideSteps; ++i) {
    // Each step is truncated toward zero; the last one lands on the target.
    window_.SetCursorPos({static_cast<int>(start.x + i * dx / kGlideSteps),
                          static_cast<int>(start.y + i * dy / kGlideSteps)});
    clock_.Sleep(1);
  }
}

// .mmd CLICK RIGHT
bool Cursor::Mmd(CommandArgs& args) {
  InputState& input = input_state_;
  const int32_t a = args.Integer(0);
  const int32_t b = args.Integer(1);
  const auto left = static_cast<LeftButtonMode>(a);
  const auto right = static_cast<RightButtonMode>(b);
  if (left == LeftButtonMode::kWaits || left == LeftButtonMode::kSkips) {
    input.ClickSkip = left == LeftButtonMode::kSkips;
  }
  if (right == RightButtonMode::kClicks || right == RightButtonMode::kReturns) {
    input.RightClickReturns = right == RightButtonMode::kReturns;
    input.RightClickEnabled = true;
  } else if (right == RightButtonMode::kOff) {
    input.RightClickReturns = false;
    input.RightClickEnabled = false;
  }
  return false;
}

}  // namespace tsumugi
