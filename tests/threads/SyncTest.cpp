#include "platform/threads/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"

namespace platform {
namespace {

struct TTestClockScope {
  TTestClock clock{1000};
  TTestClockScope() { SetClock(&clock); }
  ~TTestClockScope() { SetClock(nullptr); }
};

// One step on a wait object and the result the next wait must give.
struct TWaitCase {
  const char* name;
  bool semaphore;
  bool manualReset;  // events
  LONG initial;      // event: 0/1 = initial state; semaphore: initial count
  int releases;      // SetEvent calls / ReleaseSemaphore(1) calls before waiting
  std::vector<DWORD> waits;  // results of successive zero-time waits
};

TEST(WaitObjects, SignalStateAcrossWaits) {
  const TWaitCase cases[] = {
      {"auto event unset", false, false, 0, 0, {WAIT_TIMEOUT}},
      {"auto event set once wakes one wait", false, false, 0, 1, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
      {"auto event set twice is still one", false, false, 0, 2, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
      {"auto event initially set", false, false, 1, 0, {WAIT_OBJECT_0, WAIT_TIMEOUT}},
      {"manual event stays set", false, true, 0, 1, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0}},
      {"manual event initially set", false, true, 1, 0, {WAIT_OBJECT_0, WAIT_OBJECT_0}},
      {"semaphore empty", true, false, 0, 0, {WAIT_TIMEOUT}},
      {"semaphore counts releases", true, false, 0, 3,
       {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_TIMEOUT}},
      {"semaphore initial count", true, false, 2, 0, {WAIT_OBJECT_0, WAIT_OBJECT_0, WAIT_TIMEOUT}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE h = c.semaphore ? CreateSemaphore(c.initial, 10) : CreateEvent(c.manualReset, c.initial != 0);
    ASSERT_NE(h, nullptr);
    for (int i = 0; i < c.releases; ++i) EXPECT_TRUE(c.semaphore ? ReleaseSemaphore(h, 1) : SetEvent(h));
    for (DWORD expected : c.waits) EXPECT_EQ(WaitForSingleObject(h, 0), expected);
    EXPECT_TRUE(CloseHandle(h));
  }
}

TEST(WaitObjects, ManualResetEventReleasesAllWaitersUntilReset) {
  TEvent event(true, false);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (event.WaitFor(INFINITE) == WAIT_OBJECT_0) ++woken;
    });
  event.SetEvent();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 4);
  event.ResetEvent();
  EXPECT_EQ(event.WaitFor(0), WAIT_TIMEOUT);
}

TEST(WaitObjects, AutoResetEventLetsOneOfManyWaitersThroughPerSignal) {
  TEvent event(false, false);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (event.WaitFor(INFINITE) == WAIT_OBJECT_0) ++woken;
    });
  for (int signals = 1; signals <= 3; ++signals) {
    event.SetEvent();
    while (woken.load() < signals) std::this_thread::yield();
  }
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_FALSE(event.IsSet());
}

TEST(WaitObjects, SignalFromAnotherThreadEndsAnInfiniteWait) {
  HANDLE semaphore = CreateSemaphore(0, 0x7FFFFFFF);
  std::thread releaser([&] { ReleaseSemaphore(semaphore, 1); });
  EXPECT_EQ(WaitForSingleObject(semaphore, INFINITE), WAIT_OBJECT_0);
  releaser.join();
  CloseHandle(semaphore);
}

TEST(WaitObjects, RealTimeoutExpiresWithoutSignal) {
  TEvent event(false, false);
  TSemaphore semaphore(0, 1);
  EXPECT_EQ(event.WaitFor(20), WAIT_TIMEOUT);
  EXPECT_EQ(semaphore.WaitFor(20), WAIT_TIMEOUT);
}

TEST(WaitObjects, TestClockMakesUnsatisfiedTimedWaitsPassAtOnce) {
  TTestClockScope scope;
  HANDLE event = CreateEvent(false, false);
  HANDLE semaphore = CreateSemaphore(0, 5);
  EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(semaphore, 60000), WAIT_TIMEOUT);
  // Satisfied at once, zero or infinite: no time passes.
  SetEvent(event);
  EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  ReleaseSemaphore(semaphore, 1);
  EXPECT_EQ(WaitForSingleObject(semaphore, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(scope.clock.Waits(), (std::vector<uint32_t>{5000, 60000}));
  EXPECT_EQ(scope.clock.Milliseconds(), 1000u + 65000u);
  CloseHandle(event);
  CloseHandle(semaphore);
}

TEST(WaitObjects, SemaphoreLimits) {
  TSemaphore semaphore(1, 3);
  LONG previous = -1;
  EXPECT_TRUE(semaphore.Release(2, &previous));
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(semaphore.Release(1, &previous));  // would pass the maximum: nothing changes
  EXPECT_EQ(previous, 1);
  EXPECT_FALSE(semaphore.Release(0));
  EXPECT_EQ(semaphore.Count(), 3);

  struct TBad { LONG initial, maximum; };
  for (auto [initial, maximum] : {TBad{-1, 5}, TBad{6, 5}, TBad{0, 0}}) {
    SCOPED_TRACE(testing::Message() << initial << "/" << maximum);
    EXPECT_EQ(CreateSemaphore(initial, maximum), nullptr);
    EXPECT_THROW(TSemaphore(initial, maximum), EOSError);
  }
}

TEST(WaitObjects, ClosedOrForeignHandlesFail) {
  HANDLE event = CreateEvent(true, true);
  HANDLE semaphore = CreateSemaphore(0, 1);
  // The wrong kind of object for the call.
  EXPECT_FALSE(SetEvent(semaphore));
  EXPECT_FALSE(ReleaseSemaphore(event, 1));
  ASSERT_TRUE(CloseHandle(event));
  ASSERT_TRUE(CloseHandle(semaphore));
  for (HANDLE dead : {event, semaphore, HANDLE(nullptr)}) {
    EXPECT_EQ(WaitForSingleObject(dead, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(dead, INFINITE), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(dead));
    EXPECT_FALSE(ResetEvent(dead));
    EXPECT_FALSE(ReleaseSemaphore(dead, 1));
    EXPECT_FALSE(CloseHandle(dead));
  }
  // Handles are not reused: a new event does not revive the closed one.
  HANDLE fresh = CreateEvent(true, true);
  EXPECT_NE(fresh, event);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  CloseHandle(fresh);
}

TEST(WaitObjects, ObjectOutlivesItsHandleForHolders) {
  HANDLE event = CreateEvent(false, false);
  std::shared_ptr<TWaitObject> held = HandleObject(event);
  ASSERT_NE(held, nullptr);
  CloseHandle(event);
  EXPECT_EQ(HandleObject(event), nullptr);
  static_cast<TEvent&>(*held).SetEvent();
  EXPECT_EQ(held->WaitFor(0), WAIT_OBJECT_0);
}

TEST(ThreadList, ReentrantLockAndGuardedAccess) {
  TThreadList<int> list;
  int a = 1, b = 2;
  list.Add(&a);
  list.Add(&b);
  list.Add(&a);  // already listed
  {
    auto& items = list.LockList();
    // The owner may lock again while holding the lock.
    auto inner = list.Lock();
    EXPECT_EQ(inner->size(), 2u);
    list.Remove(&a);
    EXPECT_EQ(items, (std::vector<int*>{&b}));
    list.UnlockList();
  }
  // Another thread has to wait while the list is locked.
  std::atomic<bool> added{false};
  std::thread other;
  {
    auto locked = list.Lock();
    other = std::thread([&] {
      list.Add(&a);
      added = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(added.load());
    EXPECT_EQ(locked->size(), 1u);
  }
  other.join();
  EXPECT_TRUE(added.load());
  EXPECT_EQ(*list.Lock(), (std::vector<int*>{&b, &a}));
  list.Clear();
  EXPECT_TRUE(list.Lock()->empty());
}

}  // namespace
}  // namespace platform
