// Jumps and positioning against the reader itself: wherever the label index
// or direct positioning takes the script, reading forward line by line with
// ReadScriptLine must end in the same place with the same report.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_codec.h"
#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;
using test::OkBox;

// Where the reader stands, and the last report if the engine ended.
struct Outcome {
  int file = 0;
  int line_number = 0;
  std::u16string line;
  bool ended = false;
  std::string report;

  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "file " << o.file << " line " << o.line_number << " \"" << Utf16ToUtf8(o.line)
             << "\" ended " << o.ended << " report " << o.report;
}

std::string LastOutputLine(const EngineFixture& f) {
  std::istringstream in(f.Output());
  std::string line, last;
  while (std::getline(in, line)) last = line;
  return last;
}

template <typename Action>
Outcome Observe(EngineFixture& f, Action action) {
  Outcome o;
  try {
    action();
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
    o.ended = true;
    o.report = LastOutputLine(f);
  }
  o.file = f.engine().state.script.CurrentFile;
  o.line_number = f.engine().state.script.CurrentLineNumber;
  o.line = f.engine().state.script.CurrentLine;
  return o;
}

// The label search of a jump done the plain way: from the top of the file,
// one ReadScriptLine at a time, the line compared before the end is tested.
Outcome ScanForLabel(EngineFixture& f, const std::u16string& file, const std::u16string& label,
                     const std::u16string& from_file, int from_line) {
  Script& s = f.engine().script;
  return Observe(f, [&] {
    s.OpenScenario(file);
    if (label.empty()) return;
    for (;;) {
      if (s.AtEndOfFile()) {
        s.ScriptErrorAt(from_file, from_line,
                        u"「" + file + u".txt」には\r\nラベル「" + label + u"」は存在しません",
                        false);
      }
      s.ReadScriptLine();
      if (f.engine().state.script.CurrentLine == u":" + label) return;
    }
  });
}

// Random scenario text with labels in all the shapes that look alike:
// indented, repeated, with trailing blanks, with a leading space, mixed case.
std::string RandomScenario(std::mt19937& random, const std::vector<std::string>& names) {
  // "%" stands for a label name.
  static const std::string kShapes[] = {
      ":%", ":%",     "\t:%", "\t\t\t:%", ":% ", ":%\t", " :%",      "\t :%",     ":\t%",  "text",
      "",   ".wat 1", "\t",   ":",        "::",  ". :a", "「台詞」", "; comment", ".cas 1"};
  std::string text;
  for (size_t i = random() % 60; i > 0; --i) {
    std::string line = kShapes[random() % std::size(kShapes)];
    if (const size_t at = line.find('%'); at != std::string::npos) {
      line.replace(at, 1, names[random() % names.size()]);
    }
    text += line + "\n";
  }
  return text;
}

TEST(FlowLabelIndex, JumpsStopWhereReadingFromTheTopStops) {
  const std::vector<std::string> names = {"a", "A", "b", "start", "開始", "ｴﾝﾄﾞ", "a2"};
  const int kFiles = 40;
  std::mt19937 random(20240601);
  EngineFixture f({{"data/start.txt", "; the jumps start here\n"}});
  for (int i = 0; i < kFiles; ++i) {
    test::WriteCp932(f.game() / ("data/f" + std::to_string(i) + ".txt"),
                     RandomScenario(random, names));
  }
  f.StartWithoutRunning();
  Script& s = f.engine().script;

  std::vector<std::string> labels = names;
  labels.push_back("");         // a jump to the first line
  labels.push_back("missing");  // found nowhere
  int found = 0, missing = 0;
  for (int i = 0; i < kFiles; ++i) {
    const std::u16string file = u"f" + Utf8ToUtf16(std::to_string(i));
    for (const std::string& label : labels) {
      // Each jump starts from wherever the one before left the reader.
      const int from_index = f.engine().state.script.CurrentFile;
      const int from_line = f.engine().state.script.CurrentLineNumber;
      const Outcome scanned =
          ScanForLabel(f, file, Utf8ToUtf16(label), s.CurrentFileName(), from_line);
      f.engine().state.script.CurrentFile = from_index;
      f.engine().state.script.CurrentLineNumber = from_line;
      Outcome jumped = Observe(f, [&] { f.Execute(".jmp f" + std::to_string(i) + " " + label); });
      // Without a label nothing is read: the line holds whatever was there.
      if (label.empty()) jumped.line = scanned.line;
      EXPECT_EQ(jumped, scanned) << "f" << i << " label \"" << label << "\"";
      (scanned.ended ? missing : found) += 1;
    }
  }
  // The random files must have exercised both outcomes.
  EXPECT_GT(found, 100);
  EXPECT_GT(missing, 40);
}

TEST(FlowLabelIndex, ReadLinesUntilStopsWhereReadingForwardStops) {
  // Targets behind, on, between and beyond the lines, from every start.
  EngineFixture f({{"data/start.txt", "one\n\t\ttwo\n.cas 1\n\t\n:five\n"}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;
  const int count = 5;
  for (int start = 0; start <= count; ++start) {
    for (int target = -1; target <= count + 2; ++target) {
      auto place = [&] {
        s.RewindScenario(1);
        f.engine().state.script.CurrentLine = u"before";
        while (f.engine().state.script.CurrentLineNumber < start) s.ReadScriptLine();
      };
      place();
      const Outcome read = Observe(f, [&] {
        while (f.engine().state.script.CurrentLineNumber != target) s.ReadScriptLine();
      });
      place();
      const Outcome positioned = Observe(f, [&] { f.engine().flow.ReadLinesUntil(target); });
      EXPECT_EQ(positioned, read) << "from " << start << " to " << target;
    }
  }
}

TEST(FlowLabelIndex, LabelOf100000CharactersIsFoundOrReported) {
  const std::string label(100000, 'L');
  EngineFixture f({{"data/start.txt", ".jmp long " + label + "\n"},
                   {"data/long.txt", "text\n\t:" + label + "\n:" + label + "x\n"},
                   {"data/short.txt", ":" + label.substr(1) + "\n"}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;
  f.engine().script.RunScript();
  EXPECT_EQ(s.CurrentFileName(), u"long.txt");
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber,
            3);  // past the label on line 2, then line 3 ran as text

  s.RewindScenario(s.FindScenario(u"start"));
  f.engine().state.script.CurrentLineNumber = 1;
  EXPECT_THROW(f.Execute(".jmp short " + label), EngineEnded);
  // Compared as a whole, not printed: the text is 100,000 characters long.
  EXPECT_TRUE(LastOutputLine(f) ==
              OkBox("File「start.txt」  Line「1」\r\n\r\n「short.txt」には\r\nラベル「" + label +
                    "」は存在しません\r\n実行を中止します"))
      << LastOutputLine(f).substr(0, 200);
}

}  // namespace
}  // namespace tsumugi
