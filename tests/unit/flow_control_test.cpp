// Calls that never return, on an engine inside the test process, to see the
// heap: the rest of the jumps, calls and blocks are played by the scenarios.
#include <gtest/gtest.h>
#include <malloc.h>

#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;

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
  v.ResetVariables();
  v.DeclareVariable(VariableKind::kInteger, u"n");
  v.DeclareVariable(VariableKind::kInteger, u"limit");
  v.FinishDeclarations();
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
