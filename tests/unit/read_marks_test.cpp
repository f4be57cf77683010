// Read marks are kept by the hash of each scenario's lines: a patched
// scenario starts afresh, the others keep theirs wherever they now stand in
// the catalogue; a damaged file is refused and counts nothing.
#include "engine/player/read_marks.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace tsumugi::test {
namespace {

TEST(ReadMarks, KeptByScenarioHashAcrossPatchesAndADamagedFileCountsNothing) {
  TempDir dir;
  const auto path = dir / "marks";
  std::string why;
  ReadMarks first;
  first.SetScenarios({11, 22});
  EXPECT_TRUE(first.Mark(1, 3));
  EXPECT_FALSE(first.Mark(1, 3));
  EXPECT_TRUE(first.Mark(2, 40));
  EXPECT_FALSE(first.Mark(3, 1));
  ASSERT_TRUE(first.Save(path, &why)) << why;

  // Scenario 11 was patched (now 99); 22 moved to the front.
  ReadMarks patched;
  patched.SetScenarios({22, 99});
  ASSERT_TRUE(patched.Load(path, &why)) << why;
  EXPECT_TRUE(patched.IsRead(1, 40));
  EXPECT_FALSE(patched.IsRead(1, 39));
  EXPECT_FALSE(patched.IsRead(2, 3));

  const std::string bytes = ReadFile(path);
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 1), std::string("garbage")}) {
    WriteFile(path, damaged);
    ReadMarks again;
    again.SetScenarios({22, 99});
    EXPECT_FALSE(again.Load(path, &why));
    EXPECT_FALSE(again.IsRead(1, 40));
  }
}

}  // namespace
}  // namespace tsumugi::test
