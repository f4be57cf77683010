// Gathering of screen refreshes in the window host.
#include "platform/sdl/present_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tsumugi::sdl {
namespace {

TEST(PresentPacer, TheFirstChangeShowsAtOnceAndLaterOnesWaitForTheInterval) {
  PresentPacer pacer(8);
  EXPECT_FALSE(pacer.Pending());
  EXPECT_EQ(pacer.TimeUntilDue(0, 100), 100u);

  ASSERT_TRUE(pacer.Changed(1000));
  pacer.Presented(1000);
  EXPECT_FALSE(pacer.Due(1003));

  // Three changes in a fast-forwarded line: none is shown by itself...
  EXPECT_FALSE(pacer.Changed(1001));
  EXPECT_FALSE(pacer.Changed(1002));
  EXPECT_FALSE(pacer.Changed(1003));
  EXPECT_TRUE(pacer.Pending());
  // ...and the last one is due one interval after the last present.
  EXPECT_EQ(pacer.TimeUntilDue(1003, 100), 5u);
  EXPECT_EQ(pacer.TimeUntilDue(1003, 2), 2u);
  EXPECT_FALSE(pacer.Due(1007));
  EXPECT_TRUE(pacer.Due(1008));
  EXPECT_EQ(pacer.TimeUntilDue(1008, 100), 0u);
  pacer.Presented(1008);
  EXPECT_FALSE(pacer.Pending());
  EXPECT_FALSE(pacer.Due(2000));

  // A change after a quiet spell is shown at once.
  EXPECT_TRUE(pacer.Changed(1100));
}

TEST(PresentPacer, TheMillisecondClockMayWrapAround) {
  PresentPacer pacer(8);
  const uint32_t near_end = UINT32_MAX - 2;
  pacer.Presented(near_end);
  EXPECT_FALSE(pacer.Changed(near_end + 1));
  EXPECT_EQ(pacer.TimeUntilDue(near_end + 3, 100), 5u);  // the clock is at 0
  EXPECT_FALSE(pacer.Due(4));
  EXPECT_TRUE(pacer.Due(5));
}

}  // namespace
}  // namespace tsumugi::sdl
