#include "engine/save/save_format.h"

#include "common/strings.h"

namespace tsumugi {

namespace {

// The whole layout, named once: the writer and the reader below walk it the
// same way, so that they cannot drift apart.
template <typename Io>
void MemoryLayout(Io& io, PageMemory& memory) {
  io.FileName(memory.File);
  io.Number(memory.Line);
  io.LastAndCurrentLine(memory.LastLine, memory.CurrentLine);
  io.TextLines(memory.Lines, memory.LastLine);
}

template <typename Io>
void Layout(Io& io, SaveState& state) {
  io.Heading(u":MemSection");
  for (int i = 0; i < kMemoryCount; ++i) {
    io.FileName(state.CallFile[static_cast<size_t>(i)]);
    io.Number(state.CallLine[static_cast<size_t>(i)]);
  }
  for (PageMemory& memory : state.Recall) MemoryLayout(io, memory);
  for (PageMemory& memory : state.Button) MemoryLayout(io, memory);
  io.Heading(u":FlagSection");
  io.Flags(state.Flags);
  io.Heading(u":VarSection");
  io.RemainingLines(state.VariableLines);
}

constexpr int kFlagColumns = 16;

// Colours as stored (red in the lowest byte), in upper-case hexadecimal of
// at least six digits; read back as the same number.
std::u16string Hex(uint32_t value) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  do {
    out.insert(out.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  if (out.size() < 6) out.insert(0, 6 - out.size(), u'0');
  return out;
}

std::optional<int32_t> ParseNumber(std::u16string_view text) {
  const std::optional<int64_t> value = ParseDecimalInt(text);
  if (!value || *value < INT32_MIN || *value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*value);
}

class Writer {
 public:
  explicit Writer(const std::function<std::u16string(int32_t)>& file_name)
      : file_name_(file_name) {}

  void Heading(const char16_t* heading) { lines.emplace_back(heading); }
  void FileName(int32_t& file) { lines.push_back(file == 0 ? u"" : file_name_(file)); }
  void Number(int32_t& value) { lines.push_back(ToDecimal(value)); }
  void LastAndCurrentLine(int32_t& last, int32_t& current) {
    lines.push_back(ToDecimal(last) + u" " + ToDecimal(current));
  }
  void TextLines(std::array<TextLine, kMemoryLines>& stored, int32_t last) {
    for (int i = 0; i <= last && i < kMemoryLines; ++i) {
      const TextLine& line = stored[static_cast<size_t>(i)];
      lines.push_back(Hex(line.TextColour) + u" " + Hex(line.ShadowColour) + u" " + line.Text);
    }
  }
  void Flags(std::array<bool, 256>& flags) {
    for (size_t row = 0; row < flags.size() / kFlagColumns; ++row) {
      std::u16string line;
      for (size_t c = 0; c < kFlagColumns; ++c) line += flags[row * kFlagColumns + c] ? u'1' : u'0';
      lines.push_back(std::move(line));
    }
  }
  void RemainingLines(std::vector<std::u16string>& rest) {
    lines.insert(lines.end(), rest.begin(), rest.end());
  }

  std::vector<std::u16string> lines;

 private:
  const std::function<std::u16string(int32_t)>& file_name_;
};

// Thrown inside the reader at the first line that breaks the layout.
struct Broken {
  SaveFormatError error;
};

class Reader {
 public:
  Reader(const GameText& text, const std::function<int32_t(const std::u16string&)>& file_number,
         size_t* variables)
      : text_(text), at_(text.Start()), file_number_(file_number), variables_(variables) {}

  void Heading(const char16_t* heading) {
    if (Next() != heading) Fail(u"「" + std::u16string(heading) + u"」がありません");
  }
  void FileName(int32_t& file) {
    const std::u16string& name = Next();
    file = name.empty() ? 0 : file_number_(name);
  }
  void Number(int32_t& value) { value = NumberOf(Next()); }
  void LastAndCurrentLine(int32_t& last, int32_t& current) {
    const std::u16string& line = Next();
    const size_t space = line.find(u' ');
    if (space == std::u16string::npos) Fail(u"行番号が二つありません");
    last = NumberOf(std::u16string_view(line).substr(0, space));
    current = NumberOf(std::u16string_view(line).substr(space + 1));
    // The index decides how many lines follow and where they are stored.
    if (last < -1 || last >= kMemoryLines) Fail(u"記憶した行の数が正しくありません");
  }
  void TextLines(std::array<TextLine, kMemoryLines>& stored, int32_t last) {
    for (int i = 0; i <= last; ++i) {
      std::u16string_view rest = Next();
      TextLine& line = stored[static_cast<size_t>(i)];
      line.TextColour = ColourOf(Word(rest));
      line.ShadowColour = ColourOf(Word(rest));
      if (rest.size() > kMaxSaveLineText) TooLong();
      line.Text = rest;
    }
  }
  void Flags(std::array<bool, 256>& flags) {
    for (size_t row = 0; row < flags.size() / kFlagColumns; ++row) {
      const std::u16string& line = Next();
      if (line.size() != kFlagColumns) Fail(u"フラグの行は16文字です");
      for (size_t c = 0; c < kFlagColumns; ++c) flags[row * kFlagColumns + c] = line[c] != u'0';
    }
  }
  void RemainingLines(std::vector<std::u16string>& rest) {
    if (variables_) {
      *variables_ = at_;
    } else {
      rest.clear();
    }
    while (!text_.AtEnd(at_)) {
      const std::u16string& line = Next();
      if (line.empty()) continue;
      if (!line.starts_with(u".let ")) Fail(u"変数の行は「.let 」で始まります");
      if (line.size() > kMaxSaveLineText) TooLong();
      if (!variables_) rest.push_back(line);
    }
  }

 private:
  const std::u16string& Next() {
    ++number_;
    std::string_view bytes;
    if (!text_.NextLine(&at_, &bytes)) Fail(u"ファイルが途中で終わっています");
    if (!DecodeSaveLine(text_, bytes, &line_)) TooLong();
    return line_;
  }
  [[noreturn]] void TooLong() {
    Fail(u"行が長すぎます（" + ToDecimal(static_cast<int32_t>(kMaxSaveLineText)) + u"文字まで）");
  }
  // The first word of `rest`, which loses it and its space.
  static std::u16string_view Word(std::u16string_view& rest) {
    const size_t space = rest.find(u' ');
    const std::u16string_view word = rest.substr(0, space);
    rest = space == std::u16string_view::npos ? std::u16string_view() : rest.substr(space + 1);
    return word;
  }
  int32_t NumberOf(std::u16string_view text) {
    const std::optional<int32_t> value = ParseNumber(text);
    if (!value) Fail(u"「" + std::u16string(text) + u"」は数値ではありません");
    return *value;
  }
  gdi::ColorRef ColourOf(std::u16string_view word) {
    const std::optional<uint32_t> value = ParseHex(word);
    if (!value) Fail(u"「" + std::u16string(word) + u"」は色ではありません");
    return *value;
  }
  [[noreturn]] void Fail(std::u16string what) { throw Broken{{number_, std::move(what)}}; }

  const GameText& text_;
  size_t at_;  // where the next line begins
  int number_ = 0;  // of the line last read, from 1
  std::u16string line_;
  const std::function<int32_t(const std::u16string&)>& file_number_;
  size_t* variables_;
};

}  // namespace

std::vector<std::u16string> SaveLines(const SaveState& state,
                                      const std::function<std::u16string(int32_t)>& file_name) {
  Writer writer(file_name);
  // The layout takes the state by reference for the reader's sake; the
  // writer only reads it.
  Layout(writer, const_cast<SaveState&>(state));
  return std::move(writer.lines);
}

bool DecodeSaveLine(const GameText& text, std::string_view bytes, std::u16string* line) {
  // A character takes at most three bytes for one UTF-16 unit: a line of
  // more bytes than that is too long without decoding it.
  constexpr size_t kMaxLength = kMaxSaveLineText + 32;
  if (bytes.size() > 3 * kMaxLength) return false;
  *line = text.Decode(bytes);
  return line->size() <= kMaxLength;
}

std::optional<SaveFormatError> ReadSave(
    const GameText& text, SaveState* state,
    const std::function<int32_t(const std::u16string&)>& file_number, size_t* variables) {
  Reader reader(text, file_number, variables);
  try {
    Layout(reader, *state);
  } catch (const Broken& broken) {
    return broken.error;
  }
  return std::nullopt;
}

void ForEachVariableLine(const GameText& text, size_t variables,
                         const std::function<void(std::u16string line)>& f) {
  std::string_view bytes;
  std::u16string line;
  for (size_t at = variables; text.NextLine(&at, &bytes);) {
    if (bytes.empty()) continue;
    // ReadSave has checked every line.
    if (DecodeSaveLine(text, bytes, &line)) f(std::move(line));
  }
}

}  // namespace tsumugi
