#include "engine/cursor/cursor.h"

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"

namespace tsumugi {
namespace {

// The two numbers of ".mmd". Any other number leaves its setting alone.
enum class LeftButtonMode : int32_t { kWaits = 0, kSkips = 1 };
enum class RightButtonMode : int32_t { kClicks = 0, kReturns = 1, kOff = 2 };

}  // namespace

Cursor::Cursor(Engine& engine) : e_(engine), s_(engine.state.cursor) {
  e_.script.RegisterCommand(u"cur", [this](CommandArgs& args) { return Cur(args); });
  e_.script.RegisterCommand(u"mcm", [this](CommandArgs& args) { return Mcm(args); });
  e_.script.RegisterCommand(u"mmd", [this](CommandArgs& args) { return Mmd(args); });
}

Cursor::~Cursor() {
  // The host must not keep showing a picture that is about to be freed.
  if (image_) e_.host.SetCursorImage(nullptr);
}

// .cur NAME   or   .cur normal   (the name is the whole rest of the line)
bool Cursor::Cur(CommandArgs& args) {
  if (args.Form() == u"normal") {
    e_.host.SetCursorImage(nullptr);
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
    e_.host.SetCursorImage(nullptr);
    image_.reset();
  } else {
    ShowPicture(s_.Picture);
  }
}

void Cursor::ShowPicture(const std::u16string& name) {
  const std::filesystem::path path = e_.picture_files.MediaPath(name, u"cur");
  auto image = std::make_unique<gdi::CursorImage>();
  std::string error;
  if (!gdi::LoadCursorImage(path, image.get(), &error)) {
    // A file that is there but is no cursor or icon would otherwise leave
    // the author wondering why the pointer did not change.
    e_.host.Diagnostic(PathToUtf8(path) + ": " + error);
    e_.script.ScriptError(
        u"ファイル「" + Utf8ToUtf16(PathToUtf8(path)) + u"」はカーソルファイルとして読み込めません",
        false);
  }
  // The host switches to the new picture before the old one is freed.
  e_.host.SetCursorImage(image.get());
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
  Host& host = e_.host;
  const Point start = host.GetCursorPos();
  const int64_t dx = int64_t{target.x} - start.x;
  const int64_t dy = int64_t{target.y} - start.y;
  for (int i = 1; i <= kGlideSteps; ++i) {
    // Each step is truncated toward zero; the last one lands on the target.
    host.SetCursorPos({static_cast<int>(start.x + i * dx / kGlideSteps),
                       static_cast<int>(start.y + i * dy / kGlideSteps)});
    host.Sleep(1);
  }
}

// .mmd CLICK RIGHT
bool Cursor::Mmd(CommandArgs& args) {
  InputState& input = e_.state.input;
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
