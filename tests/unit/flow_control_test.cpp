// Jumps, calls, conditional blocks and block skips on an engine inside the
// test process, for what the end-to-end scenarios cannot show: the memories
// themselves, the case operator table, block openers, and bad places to
// return to.
#include <gtest/gtest.h>
#include <malloc.h>

#include <string>

#include "common/text_codec.h"
#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;

std::string Report(const std::string& file, int line, const std::string& message) {
  return "File「" + file + "」  Line「" + std::to_string(line) + "」\r\n\r\n" + message +
         "\r\n実行を中止します";
}

// Runs an action that must end the engine, and returns the report.
template <typename Action>
std::string ReportOf(EngineFixture& f, Action action) {
  try {
    action();
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
    return f.OnlyMessage();
  }
  ADD_FAILURE() << "the engine did not end";
  return "";
}

// Declares integer variables as a configuration file would, all 0.
void DeclareIntegers(Variables& v, std::initializer_list<const char16_t*> names) {
  v.ResetVariables();
  for (const char16_t* name : names) v.DeclareVariable(VariableKind::kInteger, name);
  v.FinishDeclarations();
}

TEST(FlowBlocks, LinesThatOpenABlock) {
  EngineFixture f({{"data/start.txt", "\n"}});
  f.StartWithoutRunning();
  Variables& v = f.engine().vars;
  v.ResetVariables();
  v.DeclareVariable(VariableKind::kText, u"word");
  v.DeclareVariable(VariableKind::kText, u"other");
  v.FinishDeclarations();
  f.engine().state.vars.TextValues[v.FindTextVariable(u"word")] = u"exit";
  f.engine().state.vars.TextValues[v.FindTextVariable(u"other")] = u"exits";

  for (const char16_t* line : {u".cas", u".cas n", u".casx", u".slt", u".btn", u".rcl", u".rcl 0",
                               u".rcl exits", u".rcl Exit", u".rcl [other]", u".rcl  exit"}) {
    EXPECT_TRUE(f.engine().flow.OpensBlock(line)) << Utf16ToUtf8(line);
  }
  for (const char16_t* line :
       {u".slt ", u".btn 1", u".sltx", u".rcl exit", u".rcl exit 1", u".rcl [word]", u".rclxexit",
        u".", u"..", u"cas", u".ca", u".els", u".= 1", u" .cas", u".sub exit 1", u".skp"}) {
    EXPECT_FALSE(f.engine().flow.OpensBlock(line)) << Utf16ToUtf8(line);
  }
}

TEST(FlowBlocks, SkipPassesNestedBlocksWholeWithTheirLists) {
  // A button block inside a choice block; each list ends with "." alone.
  EngineFixture f(
      {{"data/start.txt", "choice\n.\n.1\n.btn\nup down 0 0 1\n.\n.1\n.skp\n.\n.skp\n.\nafter\n"}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;
  // As a choice command that has read its ".slt" line itself would skip:
  // the list first, then the branches with the nested button block.
  f.engine().flow.SkipBlock(/*in_list=*/true);
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 11);
  // From inside a block, the first "." closes it.
  s.RewindScenario(1);
  f.engine().flow.SkipBlock();
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 2);
  EXPECT_EQ(f.engine().state.script.CurrentLine, u".");
}

TEST(FlowCase, OperatorsCompareTheValueWithTheCaseValue) {
  // One block per operator: the case line, ".els", the closing line.
  const char* const operators[] = {".=", ".==", ".!=", ".<>", ".<", ".<=", ".>", ".>="};
  std::string text;
  for (const char* op : operators) text += std::string(op) + " 5\n.els\n.\n";
  EngineFixture f({{"data/start.txt", text}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;

  auto matches = [&](int block, int value) {
    s.RewindScenario(s.FindScenario(u"start"));
    f.engine().flow.ReadLinesUntil(3 * block);
    f.Execute(".cas " + std::to_string(value));
    // Line 1 of the block: the case line matched; line 2: ".els" was taken.
    return f.engine().state.script.CurrentLineNumber == 3 * block + 1;
  };
  const bool expected[][3] = {
      // value 4, 5, 6
      {false, true, false},  // .=
      {false, true, false},  // .==
      {true, false, true},   // .!=
      {true, false, true},   // .<>
      {true, false, false},  // .<
      {true, true, false},   // .<=
      {false, false, true},  // .>
      {false, true, true},   // .>=
  };
  for (int block = 0; block < 8; ++block) {
    for (int value = 4; value <= 6; ++value) {
      EXPECT_EQ(matches(block, value), expected[block][value - 4])
          << operators[block] << " 5 with .cas " << value;
    }
  }
}

TEST(FlowCase, LinesThatAreNoCaseLineAreNeitherEvaluatedNorMatched) {
  // ".=>" and ".<5" are no operators: what follows them is not read, so an
  // undeclared name there is no error. Only the whole line ".els" is ".els".
  EngineFixture f({{"data/start.txt", ".=> nosuch\n.<5\n.>=1 2\n.else\n.els \n.els\n.\n"}});
  f.StartWithoutRunning();
  f.Execute(".cas 4");
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 6);
  EXPECT_EQ(f.Output(), "");
}

TEST(FlowCase, AnEmptyBlockAndErrorsInACaseLineAreReportedAtTheirLine) {
  const struct {
    const char* text;
    int line;
    const char* message;
  } cases[] = {{".\n.= 1\n.\n", 1,
                "「.cas」内に条件に当てはまる比較演算子と計算式の組が見つかりませんでした"},
               {".= 1\n.= 5 / 0\n.\n", 2, "計算 5 / 0\r\n\r\n0で割り算をしようとしました"}};
  for (const auto& c : cases) {
    EngineFixture f({{"data/start.txt", c.text}});
    f.StartWithoutRunning();
    EXPECT_EQ(ReportOf(f, [&] { f.Execute(".cas 5"); }), Report("start.txt", c.line, c.message));
  }
}

TEST(FlowSub, MemoryHoldsThePlaceOfTheCallAndOutlivesTheReturn) {
  EngineFixture f({{"data/start.txt", "one\ntwo\n.sub scene back 7\nfour\n"},
                   {"data/scene.txt", "text\n:back\n.sub exit 7\n"}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;
  const int start = s.FindScenario(u"start");

  s.RunScript();  // calls, returns and runs to the end
  EXPECT_EQ(f.engine().state.calls.MemoryFile[7], start);
  EXPECT_EQ(f.engine().state.calls.MemoryLine[7], 3);
  for (int m = 0; m < kMemoryCount; ++m) {
    if (m != 7) {
      EXPECT_EQ(f.engine().state.calls.MemoryFile[m], 0) << m;
    }
  }
  EXPECT_EQ(f.engine().state.script.CurrentFile, start);
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 4);

  // The memory can be returned to again, from anywhere.
  s.RewindScenario(s.FindScenario(u"scene"));
  f.Execute(".sub exit 7");
  EXPECT_EQ(f.engine().state.script.CurrentFile, start);
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 3);
  EXPECT_EQ(f.engine().state.script.CurrentLine,
            u".sub scene back 7");  // the line a forward read would leave
}

TEST(FlowSub, SecondWordThatReadsAsAnIntegerIsTheMemoryNumber) {
  EngineFixture f({{"data/start.txt", "\n"}, {"data/scene.txt", "top\n:n\n:flag001\n:start\n"}});
  f.StartWithoutRunning();
  Script& s = f.engine().script;
  DeclareIntegers(f.engine().vars, {u"n"});
  f.engine().vars.SetIntegerByName(u"n", 4);
  f.engine().vars.WriteFlag(1, 1);

  const struct {
    const char* line;
    int memory;
    int line_number;  // where the call leaves the reader in "scene"
  } cases[] = {
      {".sub scene n", 4, 0},        // an integer variable
      {".sub scene flag001", 1, 0},  // a flag
      {".sub scene", 0, 0},          // nothing: memory 0
      {".sub scene start", 0, 4},    // a label and no number: memory 0
      {".sub scene start n", 4, 4},  // the number may be a variable too
  };
  for (const auto& c : cases) {
    f.engine().state.calls.MemoryFile.fill(0);
    s.RewindScenario(s.FindScenario(u"start"));
    f.engine().state.script.CurrentLineNumber = 1;
    f.Execute(c.line);
    EXPECT_EQ(f.engine().state.calls.MemoryFile[c.memory], s.FindScenario(u"start")) << c.line;
    EXPECT_EQ(f.engine().state.calls.MemoryLine[c.memory], 1) << c.line;
    EXPECT_EQ(s.CurrentFileName(), u"scene.txt") << c.line;
    EXPECT_EQ(f.engine().state.script.CurrentLineNumber, c.line_number) << c.line;
  }
}

// A save file can bring any place to return to. Reading towards a line beyond
// the memory's file runs into its end, and the report says so there; a file
// the catalogue does not have is an invalid memory.
TEST(FlowSub, ReturnToAPlaceThatDoesNotExistIsReported) {
  const struct {
    bool in_catalogue;  // "scene", or a file number past the two files
    int line;
    std::string report;
  } cases[] = {
      {true, 4, Report("scene.txt", 3, "必要な情報が得られぬままファイル末尾に達してしまいました")},
      {true, 1000,
       Report("scene.txt", 3, "必要な情報が得られぬままファイル末尾に達してしまいました")},
      {true, -1,
       Report("scene.txt", 3, "必要な情報が得られぬままファイル末尾に達してしまいました")},
      {false, 1, Report("start.txt", 2, "メモリー番号が無効です")}};
  for (const auto& c : cases) {
    EngineFixture f(
        {{"data/start.txt", "; returns\n.sub exit 2\n"}, {"data/scene.txt", "a\nb\nc\n"}});
    f.StartWithoutRunning();
    f.engine().state.calls.MemoryFile[2] =
        c.in_catalogue ? f.engine().script.FindScenario(u"scene") : 3;
    f.engine().state.calls.MemoryLine[2] = c.line;
    EXPECT_EQ(ReportOf(f, [&] { f.engine().script.RunScript(); }), c.report) << c.line;
  }
}

TEST(FlowSub, ReturnToTheLastLineGoesOnAtTheEndOfTheFile) {
  EngineFixture f({{"data/start.txt", ".sub scene 0\n"}, {"data/scene.txt", ".sub exit 0\n"}});
  f.StartWithoutRunning();
  f.engine().script.RunScript();  // back after the last line of "start": the end
  EXPECT_EQ(f.engine().script.CurrentFileName(), u"start.txt");
  EXPECT_EQ(f.engine().state.script.CurrentLineNumber, 1);
  EXPECT_EQ(f.Output(), "");
}

// The heap in use (bytes handed out by malloc and not yet freed).
size_t HeapInUse() {
  return mallinfo2().uordblks;
}

TEST(FlowSub, CallingAgainAndAgainWithoutReturningKeepsMemoryFlat) {
  // Each round calls the same label again without ever returning: only the
  // ten memory slots are written, so nothing may grow with the rounds.
  EngineFixture f({{"data/start.txt",
                    ":top\n.let n = n + 1\n.cas n\n.< limit\n.sub start top 1\n.els\n.skp\n.\n"}});
  f.StartWithoutRunning();
  Variables& v = f.engine().vars;
  DeclareIntegers(v, {u"n", u"limit"});
  v.SetIntegerByName(u"limit", 1000);
  Script& s = f.engine().script;

  s.RunScript();
  const size_t after_warm_up = HeapInUse();
  v.SetIntegerByName(u"limit", 301000);
  s.RewindScenario(s.FindScenario(u"start"));
  s.RunScript();
  const size_t after_many = HeapInUse();

  EXPECT_EQ(f.engine().state.vars.IntegerValues[v.FindIntegerVariable(u"n")], 301000);
  EXPECT_EQ(f.engine().state.calls.MemoryFile[1], s.FindScenario(u"start"));
  EXPECT_EQ(f.engine().state.calls.MemoryLine[1], 5);
  EXPECT_EQ(f.Output(), "");
#if !defined(__SANITIZE_ADDRESS__)
  // 300,000 rounds: a few bytes kept per call would show as megabytes.
  EXPECT_LT(after_many, after_warm_up + 64 * 1024) << after_warm_up << " -> " << after_many;
#else
  (void)after_warm_up;
  (void)after_many;
#endif
}

}  // namespace
}  // namespace tsumugi
