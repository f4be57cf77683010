// The walk of substitution over a text, shared by the engine and the
// checker so that both pair the brackets of "[name]" references alike.
#pragma once

#include <string>
#include <string_view>

namespace tsumugi {

// Rebuilds `text` with every "[inner]" reference replaced, left to right:
// each "]" pairs with the nearest "[" before it, in the text still to be
// searched or in the text already rebuilt (inserted values included), so
// inner references go first and a name can be built from values; a "]"
// with no "[" before it stays. `replace(inner, out, remaining)` appends the
// replacement of one reference to `out`; `remaining` is how many characters
// of `text` are still to come. Inserted text is never searched for "]".
template <typename Replace>
std::u16string SubstituteReferences(std::u16string_view text, Replace&& replace) {
  std::u16string out;
  out.reserve(text.size());
  // out[0, no_bracket_before) holds no "[" that can still pair: the
  // backward search stops there, which keeps a text of many unpaired "]"
  // linear.
  size_t no_bracket_before = 0;
  size_t pos = 0;
  for (;;) {
    const size_t close = text.find(u']', pos);
    if (close == std::u16string_view::npos) break;

    size_t open = std::u16string_view::npos;
    bool open_in_out = false;
    for (size_t i = close; i > pos; --i) {
      if (text[i - 1] == u'[') {
        open = i - 1;
        break;
      }
    }
    if (open == std::u16string_view::npos) {
      for (size_t i = out.size(); i > no_bracket_before; --i) {
        if (out[i - 1] == u'[') {
          open = i - 1;
          open_in_out = true;
          break;
        }
      }
    }

    if (open == std::u16string_view::npos) {
      // An unpaired "]" stays; nothing before it can pair any more.
      out.append(text.substr(pos, close + 1 - pos));
      no_bracket_before = out.size();
      pos = close + 1;
      continue;
    }

    std::u16string inner;
    if (open_in_out) {
      inner.assign(out, open + 1);
      inner.append(text.substr(pos, close - pos));
      out.resize(open);
    } else {
      out.append(text.substr(pos, open - pos));
      inner.assign(text.substr(open + 1, close - open - 1));
    }
    pos = close + 1;
    replace(std::u16string_view(inner), out, text.size() - pos);
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace tsumugi
