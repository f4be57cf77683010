#include "platform/sdl/message_box.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/instance/stop_signals.h"
#include "platform/sdl/window_geometry.h"
#include "platform/sdl/x11_display.h"

namespace tsumugi::sdl {

namespace {

// Colours as the drawing code takes them (0x00BBGGRR).
constexpr gdi::ColorRef kFace = 0xF0F0F0;
constexpr gdi::ColorRef kText = 0x000000;
constexpr gdi::ColorRef kButton = 0xE1E1E1;
constexpr gdi::ColorRef kButtonPressed = 0xF7E4CC;
constexpr gdi::ColorRef kBorder = 0xADADAD;
constexpr gdi::ColorRef kFocus = 0xD77800;

enum Button { kNone = -1, kFirst = 0, kSecond = 1 };

struct Layout {
  int unit = 1;  // 1 on an ordinary screen, more on a large one
  std::shared_ptr<const gdi::Font> font;
  std::vector<std::u16string> lines;
  int line_height = 0;
  int width = 0;
  int height = 0;
  int text_x = 0;
  int text_y = 0;
  std::vector<std::u16string> labels;
  std::vector<Rect> buttons;
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The text cut into lines at its line ends, and long lines at the last
// character that fits.
std::vector<std::u16string> WrapText(const gdi::Font& font, const std::u16string& text,
                                     int max_width) {
  std::vector<std::u16string> lines;
  std::u16string line;
  int width = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\n' || text[i] == u'\r') {
      lines.push_back(line);
      line.clear();
      width = 0;
      if (i + 1 < text.size() && text[i] == u'\r' && text[i + 1] == u'\n') ++i;
      continue;
    }
    const size_t length = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
    const std::u16string_view character(text.data() + i, length);
    const int advance = font.Extent(character, 0).width;
    if (width + advance > max_width && !line.empty()) {
      lines.push_back(line);
      line.clear();
      width = 0;
    }
    line.append(character);
    width += advance;
    i += length - 1;
  }
  return lines;
}

Layout MakeLayout(gdi::FontEngine& fonts, const MessageBoxRequest& request) {
  Layout l;
  SDL_Rect usable{0, 0, 1024, 768};
  SDL_GetDisplayUsableBounds(0, &usable);
  // At the game's scale, but never larger than the screen holds.
  l.unit = request.scale > 0 ? std::min(request.scale, std::max(1, usable.h / gdi::kScreenHeight))
                             : std::max(1, usable.h / 1080);
  const int u = l.unit;
  l.font = fonts.GetFont({.face = u"MS UI Gothic", .height = 16 * u});
  l.line_height = l.font->Height() + 3 * u;
  const int pad = 18 * u;
  const int max_text = std::max(160 * u, std::min(gdi::kScreenWidth * u, usable.w - 4 * pad));
  l.lines = WrapText(*l.font, request.text, max_text);
  // Many lines do not make the box taller than the screen: the rest is cut.
  const int max_lines = std::max(1, (usable.h - 120 * u) / l.line_height);
  if (static_cast<int>(l.lines.size()) > max_lines) l.lines.resize(static_cast<size_t>(max_lines));
  int text_width = 0;
  for (const std::u16string& line : l.lines) {
    text_width = std::max(text_width, l.font->Extent(line, 0).width);
  }
  l.labels = request.yes_no ? std::vector<std::u16string>{u"はい", u"いいえ"}
                            : std::vector<std::u16string>{u"OK"};
  const int button_w = 88 * u, button_h = 26 * u, gap = 8 * u;
  const int buttons_w = static_cast<int>(l.labels.size()) * (button_w + gap) - gap;
  l.width = std::max({text_width + 2 * pad, buttons_w + 2 * pad, 240 * u});
  const int text_h = static_cast<int>(l.lines.size()) * l.line_height;
  l.text_x = pad;
  l.text_y = pad;
  const int button_y = pad + text_h + pad;
  l.height = button_y + button_h + 12 * u;
  int x = (l.width - buttons_w) / 2;
  for (size_t i = 0; i < l.labels.size(); ++i) {
    l.buttons.push_back({x, button_y, button_w, button_h});
    x += button_w + gap;
  }
  return l;
}

void Frame(gdi::Surface& s, const Rect& r, int thickness, gdi::ColorRef colour) {
  s.Fill(r.x, r.y, r.width, thickness, colour);
  s.Fill(r.x, r.y + r.height - thickness, r.width, thickness, colour);
  s.Fill(r.x, r.y, thickness, r.height, colour);
  s.Fill(r.x + r.width - thickness, r.y, thickness, r.height, colour);
}

void Paint(const Layout& l, int focus, int pressed, gdi::Surface& s) {
  s.Fill(0, 0, l.width, l.height, kFace);
  for (size_t i = 0; i < l.lines.size(); ++i) {
    l.font->Draw(s, l.text_x, l.text_y + static_cast<int>(i) * l.line_height, l.lines[i], kText, 0);
  }
  for (size_t i = 0; i < l.buttons.size(); ++i) {
    const Rect& r = l.buttons[i];
    const bool is_focus = static_cast<int>(i) == focus;
    s.Fill(r.x, r.y, r.width, r.height, static_cast<int>(i) == pressed ? kButtonPressed : kButton);
    Frame(s, r, is_focus ? 2 * l.unit : l.unit, is_focus ? kFocus : kBorder);
    const tsumugi::Size extent = l.font->Extent(l.labels[i], 0);
    l.font->Draw(s, r.x + (r.width - extent.width) / 2, r.y + (r.height - extent.height) / 2,
                 l.labels[i], kText, 0);
  }
}

void Show(SDL_Window* window, const gdi::Surface& picture) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(picture.Data()), picture.Width(), picture.Height(), 32,
      picture.Stride() * 4, SDL_PIXELFORMAT_XRGB8888);
  if (!source) return;
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window);
}

int ButtonAt(const Layout& l, int x, int y) {
  for (size_t i = 0; i < l.buttons.size(); ++i) {
    const Rect& r = l.buttons[i];
    if (r.Contains(x, y)) return static_cast<int>(i);
  }
  return kNone;
}

uint32_t WindowOf(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT: return e.window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return e.key.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return e.button.windowID;
    case SDL_MOUSEMOTION: return e.motion.windowID;
    case SDL_MOUSEWHEEL: return e.wheel.windowID;
    case SDL_TEXTINPUT: return e.text.windowID;
    default: return 0;
  }
}

bool IsInput(const SDL_Event& e) {
  return e.type == SDL_KEYDOWN || e.type == SDL_KEYUP || e.type == SDL_MOUSEBUTTONDOWN ||
         e.type == SDL_MOUSEBUTTONUP || e.type == SDL_MOUSEMOTION || e.type == SDL_MOUSEWHEEL ||
         e.type == SDL_TEXTINPUT;
}

}  // namespace

MessageBoxAnswer RunMessageBox(gdi::FontEngine& fonts, const MessageBoxRequest& request,
                               std::string* error) {
  // Nobody could see or answer a box on a display that is not there.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::string_view(driver) == "dummy" ||
      std::string_view(driver) == "offscreen") {
    *error = "no display to show it on";
    return MessageBoxAnswer::kFailed;
  }
  const Layout l = MakeLayout(fonts, request);
  const bool owned = request.owner && (SDL_GetWindowFlags(request.owner) & SDL_WINDOW_SHOWN) &&
                     !(SDL_GetWindowFlags(request.owner) & SDL_WINDOW_HIDDEN);
  int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED;
  if (owned) {
    int ox, oy, ow, oh;
    SDL_GetWindowPosition(request.owner, &ox, &oy);
    SDL_GetWindowSize(request.owner, &ow, &oh);
    x = ox + (ow - l.width) / 2;
    y = oy + (oh - l.height) / 2;
  }
  SDL_Window* box = SDL_CreateWindow("Tsumugi", x, y, l.width, l.height, SDL_WINDOW_HIDDEN);
  if (!box) {
    *error = SDL_GetError();
    return MessageBoxAnswer::kFailed;
  }
  MakeDialog(box, owned ? request.owner : nullptr);
  if (owned) SDL_SetWindowModalFor(box, request.owner);
  const uint32_t id = SDL_GetWindowID(box);
  gdi::Surface picture(l.width, l.height, kFace);
  int focus = kFirst, pressed = kNone;
  Paint(l, focus, pressed, picture);
  SDL_ShowWindow(box);
  SDL_RaiseWindow(box);
  SDL_SetWindowInputFocus(box);
  Show(box, picture);

  // Escape and the close button take the safe answer: OK, or No.
  const MessageBoxAnswer cancel = request.yes_no ? MessageBoxAnswer::kNo : MessageBoxAnswer::kOk;
  auto answer_of = [&](int button) {
    if (!request.yes_no) return MessageBoxAnswer::kOk;
    return button == kFirst ? MessageBoxAnswer::kYes : MessageBoxAnswer::kNo;
  };
  std::optional<MessageBoxAnswer> answer;
  ModalScope modal;
  uint32_t wait = 0;
  while (!answer) {
    SDL_Event e;
    if (!SDL_WaitEventTimeout(&e, static_cast<int>(wait))) {
      wait = request.idle ? request.idle() : 1000;
      continue;
    }
    if (WindowOf(e) != id) {
      // The game window takes no input while the box is up.
      if (!IsInput(e) && e.type != SDL_QUIT && request.other) request.other(e);
      continue;
    }
    const int before_focus = focus, before_pressed = pressed;
    switch (e.type) {
      case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) answer = cancel;
        if (e.window.event == SDL_WINDOWEVENT_EXPOSED) Show(box, picture);
        break;
      case SDL_KEYDOWN:
        switch (e.key.keysym.sym) {
          case SDLK_RETURN:
          case SDLK_KP_ENTER:
          case SDLK_SPACE:
            answer = answer_of(focus);
            break;
          case SDLK_ESCAPE:
            answer = cancel;
            break;
          case SDLK_LEFT:
          case SDLK_RIGHT:
          case SDLK_TAB:
            if (request.yes_no) focus = 1 - focus;
            break;
          case SDLK_y:
            if (request.yes_no) answer = MessageBoxAnswer::kYes;
            break;
          case SDLK_n:
            if (request.yes_no) answer = MessageBoxAnswer::kNo;
            break;
          default:
            break;
        }
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) {
          pressed = ButtonAt(l, e.button.x, e.button.y);
          if (pressed != kNone) focus = pressed;
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.button == SDL_BUTTON_LEFT) {
          // A press that ends on the button it began on answers.
          if (pressed != kNone && ButtonAt(l, e.button.x, e.button.y) == pressed) {
            answer = answer_of(pressed);
          }
          pressed = kNone;
        }
        break;
      default:
        break;
    }
    if (!answer && (focus != before_focus || pressed != before_pressed)) {
      Paint(l, focus, pressed, picture);
      Show(box, picture);
    }
  }
  SDL_DestroyWindow(box);
  return *answer;
}

}  // namespace tsumugi::sdl
