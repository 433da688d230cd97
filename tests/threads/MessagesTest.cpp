#include "platform/threads/Messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/threads/Sync.h"

namespace platform {
namespace {

// Removes whatever an earlier case left in the calling thread's queue.
void DrainQueue() {
  MSG msg;
  while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

std::vector<UINT> TakeAll(HWND hwnd, UINT filterMin, UINT filterMax) {
  std::vector<UINT> taken;
  MSG msg;
  while (PeekMessage(msg, hwnd, filterMin, filterMax, PM_REMOVE)) taken.push_back(msg.message);
  return taken;
}

TEST(MessageQueue, MainThreadIsTheThreadOfMain) {
  EXPECT_TRUE(IsMainThread());
  EXPECT_EQ(GetCurrentThreadId(), MainThreadID());
  DWORD other = 0;
  bool otherIsMain = true;
  std::thread([&] {
    other = GetCurrentThreadId();
    otherIsMain = IsMainThread();
  }).join();
  EXPECT_NE(other, MainThreadID());
  EXPECT_NE(other, 0u);
  EXPECT_FALSE(otherIsMain);
}

TEST(MessageQueue, RangeAndWindowFilters) {
  HWND a = AllocateHWnd([](UINT, WPARAM, LPARAM) { return LRESULT(0); });
  HWND b = AllocateHWnd([](UINT, WPARAM, LPARAM) { return LRESULT(0); });
  struct TCase {
    const char* name;
    HWND hwnd;
    UINT filterMin, filterMax;
    std::vector<UINT> taken;  // in queue order
  };
  // Queued, in order: a:WM_USER, b:0x8FFE, thread:WM_PAINT, a:0x8FFF, b:WM_USER+1, thread:WM_APP.
  const TCase cases[] = {
      {"everything", nullptr, 0, 0, {WM_USER, 0x8FFE, WM_PAINT, 0x8FFF, WM_USER + 1, WM_APP}},
      {"thread-window range only", nullptr, 0x8FFE, 0x8FFF, {0x8FFE, 0x8FFF}},
      {"single message", nullptr, WM_PAINT, WM_PAINT, {WM_PAINT}},
      {"window a", a, 0, 0, {WM_USER, 0x8FFF}},
      {"window b in a range", b, WM_USER, WM_USER + 10, {WM_USER + 1}},
      {"thread messages only", HWND_THREADMESSAGES, 0, 0, {WM_PAINT, WM_APP}},
      {"nothing in range", nullptr, WM_TIMER, WM_TIMER, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DrainQueue();
    PostMessage(a, WM_USER, 0, 0);
    PostMessage(b, 0x8FFE, 0, 0);
    PostMessage(nullptr, WM_PAINT, 0, 0);
    PostMessage(a, 0x8FFF, 0, 0);
    PostMessage(b, WM_USER + 1, 0, 0);
    PostThreadMessage(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_EQ(TakeAll(c.hwnd, c.filterMin, c.filterMax), c.taken);
  }
  DrainQueue();
  DeallocateHWnd(a);
  DeallocateHWnd(b);
}

TEST(MessageQueue, PeekWithoutRemovingKeepsTheMessage) {
  DrainQueue();
  PostMessage(nullptr, WM_USER, 7, 9);
  MSG msg{};
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.lParam, 9);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, QuitPassesEveryFilterAfterPostedMessages) {
  DrainQueue();
  PostMessage(nullptr, 0x8FFF, 0, 0);
  PostMessage(nullptr, WM_USER, 0, 0);
  PostQuitMessage(3);
  MSG msg{};
  // A waiting loop that serves only the thread-window range still sees WM_QUIT.
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0x8FFE, 0x8FFF, PM_REMOVE));
  EXPECT_EQ(msg.message, 0x8FFFu);
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0x8FFE, 0x8FFF, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0x8FFE, 0x8FFF, PM_REMOVE));
  // GetMessage reports the quit with false, after what was queued before it.
  PostQuitMessage(4);
  ASSERT_TRUE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_FALSE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 4u);
}

TEST(MessageQueue, MessagesGoToTheOwnerThreadAndItsProcedure) {
  DrainQueue();
  std::vector<std::pair<UINT, DWORD>> seen;  // message and the thread that handled it
  HWND window = AllocateHWnd([&](UINT message, WPARAM wParam, LPARAM lParam) {
    seen.emplace_back(message, GetCurrentThreadId());
    return LRESULT(wParam + lParam);
  });
  EXPECT_EQ(GetWindowThreadProcessId(window), MainThreadID());

  std::thread([&] {
    EXPECT_TRUE(PostMessage(window, WM_USER, 1, 2));
    // This thread has no queue yet, so nothing can be posted to it.
    EXPECT_FALSE(PostThreadMessage(GetCurrentThreadId(), WM_USER, 0, 0));
  }).join();

  MSG msg{};
  ASSERT_TRUE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(DispatchMessage(msg), 3);
  EXPECT_EQ(SendMessage(window, WM_CLOSE, 4, 5), 9);  // same thread: direct call
  EXPECT_EQ(seen, (std::vector<std::pair<UINT, DWORD>>{{WM_USER, MainThreadID()}, {WM_CLOSE, MainThreadID()}}));

  DeallocateHWnd(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
  EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
  EXPECT_EQ(DispatchMessage(msg), 0);
  EXPECT_EQ(GetWindowThreadProcessId(window), 0u);
}

TEST(MessageQueue, SendFromAnotherThreadRunsOnTheOwnerAndCarriesExceptions) {
  DrainQueue();
  HWND window = AllocateHWnd([](UINT message, WPARAM wParam, LPARAM) -> LRESULT {
    if (!IsMainThread()) return -1;
    if (message == WM_CLOSE) throw std::runtime_error("refused");
    return LRESULT(wParam * 2);
  });
  std::atomic<bool> done{false};
  LRESULT doubled = 0;
  std::string error;
  std::thread sender([&] {
    doubled = SendMessage(window, WM_USER, 21, 0);
    try {
      SendMessage(window, WM_CLOSE, 0, 0);
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    done = true;
  });
  // A filter that lets nothing through still serves sent messages.
  MSG msg;
  while (!done.load()) PeekMessage(msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE);
  sender.join();
  EXPECT_EQ(doubled, 42);
  EXPECT_EQ(error, "refused");
  DeallocateHWnd(window);
}

TEST(MessageQueue, WorkerThreadQueueEndsWithTheThread) {
  std::atomic<DWORD> worker{0};
  TEvent ready(true, false);
  std::thread thread([&] {
    MSG msg;
    PeekMessage(msg, nullptr, 0, 0, PM_NOREMOVE);  // creates the queue
    worker = GetCurrentThreadId();
    ready.SetEvent();
    EXPECT_TRUE(GetMessage(msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, WM_APP + 1);
    EXPECT_FALSE(GetMessage(msg, nullptr, 0, 0));
  });
  ready.WaitFor(INFINITE);
  EXPECT_TRUE(PostThreadMessage(worker, WM_APP + 1, 0, 0));
  EXPECT_TRUE(PostThreadMessage(worker, WM_QUIT, 0, 0));
  thread.join();
  EXPECT_FALSE(PostThreadMessage(worker, WM_APP, 0, 0));
}

TEST(MessageQueue, SendToAThreadThatEndsWithoutServingGivesZero) {
  std::atomic<HWND> window{nullptr};
  TEvent ready(true, false);
  bool called = false;
  std::thread owner([&] {
    window = AllocateHWnd([&](UINT, WPARAM, LPARAM) {
      called = true;
      return LRESULT(1);
    });
    ready.SetEvent();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    // Ends without ever taking a message: its windows go with it.
  });
  ready.WaitFor(INFINITE);
  EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);  // must not hang
  owner.join();
  EXPECT_FALSE(called);
  EXPECT_FALSE(IsWindow(window));
}

TEST(MessageQueue, WaitMessageWaitsForANewMessage) {
  DrainQueue();
  PostMessage(nullptr, WM_USER, 0, 0);
  MSG msg;
  // Seen but left queued by a filtered peek: not new any more.
  EXPECT_FALSE(PeekMessage(msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    posted = true;
    PostThreadMessage(MainThreadID(), WM_APP, 0, 0);
  });
  WaitMessage();
  EXPECT_TRUE(posted.load());
  poster.join();
  EXPECT_EQ(TakeAll(nullptr, 0, 0), (std::vector<UINT>{WM_USER, WM_APP}));
}

TEST(MessageQueue, DescriptorWakesTheMainLoop) {
  DrainQueue();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::vector<char> received;
  AddMainLoopDescriptor(fds[0], [&] {
    EXPECT_TRUE(IsMainThread());
    char byte;
    if (read(fds[0], &byte, 1) == 1) {
      received.push_back(byte);
      PostMessage(nullptr, WM_USER + byte, 0, 0);
    }
  });
  // The main thread blocks in GetMessage; only the pipe can end the wait.
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_EQ(write(fds[1], "x", 1), 1);
  });
  MSG msg{};
  ASSERT_TRUE(GetMessage(msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, WM_USER + 'x');
  writer.join();

  // PeekMessage serves the descriptor too, and WaitMessage returns for it.
  ASSERT_EQ(write(fds[1], "y", 1), 1);
  EXPECT_EQ(TakeAll(nullptr, 0, 0), (std::vector<UINT>{WM_USER + 'y'}));
  ASSERT_EQ(write(fds[1], "z", 1), 1);
  WaitMessage();
  EXPECT_EQ(received, (std::vector<char>{'x', 'y', 'z'}));

  RemoveMainLoopDescriptor(fds[0]);
  ASSERT_EQ(write(fds[1], "w", 1), 1);
  DrainQueue();
  EXPECT_EQ(received.size(), 3u);
  close(fds[0]);
  close(fds[1]);
  DrainQueue();
}

TEST(MessageQueue, TimersPostWmTimerOnTheTestClock) {
  DrainQueue();
  TTestClock clock(5000);
  SetClock(&clock);
  std::vector<WPARAM> ticks;
  HWND window = AllocateHWnd([&](UINT message, WPARAM id, LPARAM) {
    if (message == WM_TIMER) ticks.push_back(id);
    return LRESULT(0);
  });
  ASSERT_EQ(SetTimer(window, 7, 100), 7u);
  MSG msg;
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  clock.Advance(100);
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  DispatchMessage(msg);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));  // one tick per period
  // A loop that waits only for the timer lets the test clock run on.
  ASSERT_TRUE(GetMessage(msg, nullptr, 0, 0));
  DispatchMessage(msg);
  EXPECT_EQ(clock.Waits(), (std::vector<uint32_t>{100}));
  EXPECT_EQ(ticks, (std::vector<WPARAM>{7, 7}));
  // A posted message comes before a due timer.
  clock.Advance(100);
  PostMessage(window, WM_USER, 0, 0);
  EXPECT_EQ(TakeAll(nullptr, 0, 0), (std::vector<UINT>{WM_USER, WM_TIMER}));
  EXPECT_TRUE(KillTimer(window, 7));
  EXPECT_FALSE(KillTimer(window, 7));
  clock.Advance(1000);
  EXPECT_FALSE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  DeallocateHWnd(window);
  SetClock(nullptr);
}

}  // namespace
}  // namespace platform
