#include "platform/rtl/Clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using platform::TTestClock;
using Kind = TTestClock::TEventKind;

// Installs a test clock for the scope of a test.
struct ScopedClock {
  TTestClock clock;
  explicit ScopedClock(uint32_t start = 0) : clock(start) { platform::SetClock(&clock); }
  ~ScopedClock() { platform::SetClock(nullptr); }
};

TEST(Clock, TestClockStandsStillAndRecordsSleepsAndWaits) {
  ScopedClock scoped(1000);
  EXPECT_EQ(platform::timeGetTime(), 1000u);
  EXPECT_EQ(platform::timeGetTime(), 1000u);
  platform::Sleep(40);
  EXPECT_TRUE(platform::Clock().ElapseWait(25));
  scoped.clock.Advance(5);
  EXPECT_EQ(platform::timeGetTime(), 1070u);
  EXPECT_EQ(scoped.clock.Events(),
            (std::vector<TTestClock::TEvent>{{Kind::Sleep, 40}, {Kind::Wait, 25}}));
  EXPECT_EQ(scoped.clock.Sleeps(), std::vector<uint32_t>{40});
  EXPECT_EQ(scoped.clock.Waits(), std::vector<uint32_t>{25});
  scoped.clock.ClearEvents();
  EXPECT_TRUE(scoped.clock.Events().empty());
}

TEST(Clock, TestClockWrapsLikeTimeGetTime) {
  ScopedClock scoped(0xFFFFFFF0u);
  platform::Sleep(0x20);
  EXPECT_EQ(platform::timeGetTime(), 0x10u);
  // Elapsed time computed by unsigned subtraction survives the wrap.
  EXPECT_EQ(platform::timeGetTime() - 0xFFFFFFF0u, 0x20u);
}

TEST(Clock, TestClockIsSafeFromManyThreads) {
  ScopedClock scoped;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 100; ++i) platform::Sleep(1);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(platform::timeGetTime(), 400u);
  EXPECT_EQ(scoped.clock.Sleeps().size(), 400u);
}

TEST(Clock, SystemClockIsRestoredAndMonotonic) {
  { ScopedClock scoped(5); }
  EXPECT_FALSE(platform::Clock().ElapseWait(10));
  const uint32_t before = platform::timeGetTime();
  platform::Sleep(2);
  const uint32_t elapsed = platform::timeGetTime() - before;
  EXPECT_GE(elapsed, 2u);
  EXPECT_LT(elapsed, 60000u);
}

}  // namespace
