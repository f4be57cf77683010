#include "engine/text/text_print.h"

#include "engine/graphics/pages.h"
#include "engine/script/command_args.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

TextPrinter::TextPrinter(HostWindow& window, gdi::FontEngine& fonts, Pages& pages,
                         TextWindowState& text_state, PrintState& state)
    : window_(window), fonts_(fonts), pages_(pages), text_state_(text_state), s_(state) {}

TextContext& TextPrinter::PageContext(int n) {
  const size_t index = static_cast<size_t>(std::max(n, 0));
  if (index >= s_.Pages.size()) {
    const TextContext model = s_.Pages.empty() ? TextContext{} : s_.Pages[0];
    s_.Pages.resize(index + 1, model);
  }
  return s_.Pages[index];
}

template <typename Change>
void TextPrinter::ForEveryContext(Change change) {
  change(s_.Screen);
  for (int n = 0; n <= pages_.PageCount(); ++n) change(PageContext(n));
}

void TextPrinter::ApplyTextFont() {
  const gdi::LogFont& font = text_state_.Canvas.font;
  s_.PrintSpacing = text_state_.CharacterSpacing;
  ForEveryContext([&](TextContext& context) {
    context.char_extra = s_.PrintSpacing;
    context.font = font;
  });
  s_.PrintLeading = text_state_.Leading;
  s_.PrintShadowOffset = text_state_.ShadowOffset;
  s_.PrintEdgeOn = text_state_.EdgeOn;
  s_.PrintColour = text_state_.UsualColour;
  s_.PrintShadowColour = text_state_.UsualShadowColour;
  s_.PrintAlign = 0;
}

// .tpr [TARGET] X Y TEXT   or   .tpr font SETTING ...
bool TextPrinter::Tpr(CommandArgs& args) {
  if (args.Form().starts_with(u"font")) {
    FontCommand(args);
    return false;
  }
  const std::u16string& target = args.Text(0);
  gdi::Surface* surface = &window_.Screen();
  TextContext* context = &s_.Screen;
  if (target != u"screen") {
    const int page = target == u"off1" ? 1 : 2;
    surface = pages_.Page(page);
    context = &PageContext(page);
  }
  const int32_t x = args.Integer(1);
  int64_t y = args.Integer(2);
  std::u16string text = args.Text(3);
  if (translate_) {
    if (std::optional<std::u16string> shown = translate_(args.Word(3))) text = std::move(*shown);
  }
  if (text.empty()) return false;

  const gdi::Font& font = context->Font(fonts_);
  const int extra = context->char_extra;
  int64_t px = x;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(u"\\n", start);
    const std::u16string_view piece =
        std::u16string_view(text).substr(start, end == std::u16string::npos ? end : end - start);
    int64_t height;
    if (!piece.empty()) {
      const std::u16string drawn = as_is_ ? std::u16string(piece) : AsDrawn(piece);
      const Size size = font.Extent(drawn, extra);
      const int64_t width = int64_t{size.width} - s_.PrintSpacing;
      height = size.height;
      if (s_.PrintAlign == 0) {
        px = x;
      } else if (s_.PrintAlign == 1) {
        px = x - (width - 1) / 2;
      } else if (s_.PrintAlign == 2) {
        px = x - width + 1;
      }
      const int ix = ClampCoordinate(px);
      const int iy = ClampCoordinate(y);
      if (s_.PrintEdgeOn) {
        font.Draw(*surface, ix, iy - 1, drawn, s_.PrintShadowColour, extra);
        font.Draw(*surface, ix + 1, iy, drawn, s_.PrintShadowColour, extra);
        font.Draw(*surface, ix, iy + 1, drawn, s_.PrintShadowColour, extra);
        font.Draw(*surface, ix - 1, iy, drawn, s_.PrintShadowColour, extra);
      }
      font.Draw(*surface, ClampCoordinate(px + s_.PrintShadowOffset),
                ClampCoordinate(y + s_.PrintShadowOffset), drawn, s_.PrintShadowColour, extra);
      font.Draw(*surface, ix, iy, drawn, s_.PrintColour, extra);
    } else {
      height = font.Extent(u"サンプル", extra).height;
    }
    if (end == std::u16string::npos) break;
    y += int64_t{s_.PrintLeading} + height;
    start = end + 2;
  }
  if (target == u"screen") window_.Refresh();
  return false;
}

// .tpr font reset | font color WHICH COLOUR | font name FACE
// .tpr font style|size|spacing|leading|offset|edge|align VALUE
void TextPrinter::FontCommand(CommandArgs& args) {
  const std::u16string_view form = args.Form();
  if (form == u"font reset") {
    ApplyTextFont();
    return;
  }
  if (form == u"font color") {
    const std::u16string& which = args.Text(0);
    if (which != u"usual" && which != u"shadow") return;
    (which == u"usual" ? s_.PrintColour : s_.PrintShadowColour) = args.Colour(1);
    return;
  }
  if (form == u"font name") {
    const std::u16string& face = args.Text(0);
    ForEveryContext([&](TextContext& context) { context.font.face = face; });
    return;
  }
  const std::u16string& word = args.Text(0);
  if (word == u"style") {
    const int32_t style = args.Integer(1);
    if (style < 0 || style > 3) return;
    ForEveryContext([&](TextContext& context) {
      context.font.bold = (style & 1) != 0;
      context.font.italic = (style & 2) != 0;
    });
  } else if (word == u"size") {
    const int32_t size = args.Integer(1);
    ForEveryContext([&](TextContext& context) { context.font.height = size; });
  } else if (word == u"spacing") {
    s_.PrintSpacing = args.Integer(1);
    ForEveryContext([&](TextContext& context) { context.char_extra = s_.PrintSpacing; });
  } else if (word == u"leading") {
    s_.PrintLeading = args.Integer(1);
  } else if (word == u"offset") {
    s_.PrintShadowOffset = args.Integer(1);
  } else if (word == u"edge") {
    s_.PrintEdgeOn = args.Integer(1) != 0;
  } else if (word == u"align") {
    s_.PrintAlign = args.Integer(1);
  }
}

}  // namespace tsumugi
