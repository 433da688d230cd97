#include "platform/threads/Thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/Exceptions.h"
#include "platform/threads/Messages.h"
#include "platform/threads/Sync.h"

namespace platform {
namespace {

// A thread whose Execute is given as a function. Its destructor stops the
// thread before the function goes, as every class with its own members must.
class TLambdaThread : public TThread {
public:
  using TBody = std::function<void(TLambdaThread&)>;
  explicit TLambdaThread(TBody body, std::function<void()> onDestroy = nullptr)
      : body_(std::move(body)), onDestroy_(std::move(onDestroy)) {}
  ~TLambdaThread() override {
    if (!Suspended() && !Finished() && GetCurrentThreadId() != ThreadID()) {
      Terminate();
      WaitFor();
    }
    if (onDestroy_) onDestroy_();
  }
  using TThread::SetReturnValue;

protected:
  void Execute() override { body_(*this); }

private:
  TBody body_;
  std::function<void()> onDestroy_;
};

// What a painter-waiting main thread does: serve only the thread window.
void ServeThreadWindowUntil(const std::function<bool()>& done) {
  MSG msg;
  while (!done()) {
    if (PeekMessage(msg, nullptr, WM_DESTROYTHREADWINDOW, WM_SYNCHRONIZE, PM_REMOVE)) {
      ASSERT_NE(msg.message, WM_QUIT);
      TranslateMessage(msg);
      DispatchMessage(msg);
    } else {
      std::this_thread::yield();
    }
  }
}

TEST(Synchronize, EightThreadsRunTheirCallsOnTheMainThread) {
  constexpr int kThreads = 8, kCalls = 40;
  PostMessage(nullptr, WM_USER, 0, 0);  // must stay queued while the main thread waits
  int onMain = 0;                        // touched only by synchronised calls: no lock needed
  std::atomic<int> finished{0};
  std::vector<std::string> caught(kThreads);
  std::vector<std::unique_ptr<TLambdaThread>> threads;
  std::vector<std::thread> plain;
  auto body = [&](int index, TThread* self) {
    for (int call = 0; call < kCalls; ++call) {
      try {
        TThread::Synchronize(self, [&] {
          if (IsMainThread()) ++onMain;
          if (call == kCalls / 2) throw EAbort(Format("stop %d", index));
        });
      } catch (const EAbort& e) {
        caught[index] = e.Message;
      }
    }
    ++finished;
  };
  // Half are TThread objects, half plain workers with no thread object.
  for (int i = 0; i < kThreads / 2; ++i) {
    threads.push_back(std::make_unique<TLambdaThread>([&, i](TLambdaThread& self) { body(i, &self); }));
    threads.back()->Start();
  }
  for (int i = kThreads / 2; i < kThreads; ++i) plain.emplace_back(body, i, nullptr);

  ServeThreadWindowUntil([&] { return finished.load() == kThreads; });
  for (auto& t : plain) t.join();
  threads.clear();

  EXPECT_EQ(onMain, kThreads * kCalls);
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(caught[i], Format("stop %d", i));
  MSG msg;
  ASSERT_TRUE(PeekMessage(msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  while (PeekMessage(msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(msg);
}

TEST(Synchronize, OnTheMainThreadIsADirectCall) {
  bool ran = false;
  TThread::Synchronize(nullptr, [&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_THROW(TThread::Synchronize(nullptr, [] { throw EAbort("direct"); }), EAbort);
  EXPECT_FALSE(CheckSynchronize());  // nothing pending
  std::string error;
  std::thread([&] {
    try {
      CheckSynchronize();
    } catch (const EThread& e) {
      error = e.Message;
    }
  }).join();
  EXPECT_EQ(error, "CheckSynchronize called from a thread other than the main thread");
}

TEST(Thread, WholeLife) {
  TEvent running(true, false);
  std::atomic<int> loops{0};
  DWORD idInside = 0;
  pthread_t selfInside{};
  auto thread = std::make_unique<TLambdaThread>([&](TLambdaThread& self) {
    idInside = GetCurrentThreadId();
    selfInside = pthread_self();
    running.SetEvent();
    while (!self.Terminated()) {
      ++loops;
      std::this_thread::yield();
    }
    self.SetReturnValue(42);
  });
  DWORD terminateThread = 0;
  TThread* terminateSender = nullptr;
  thread->OnTerminate = [&](TThread* sender) {
    terminateThread = GetCurrentThreadId();
    terminateSender = sender;
  };
  EXPECT_TRUE(thread->Suspended());
  EXPECT_EQ(running.WaitFor(0), WAIT_TIMEOUT);
  EXPECT_EQ(loops.load(), 0);

  thread->Resume();
  EXPECT_FALSE(thread->Suspended());
  thread->Resume();  // no effect once started
  EXPECT_THROW(thread->Start(), EThread);
  running.WaitFor(INFINITE);
  EXPECT_FALSE(thread->Finished());
  thread->Terminate();
  EXPECT_TRUE(thread->Terminated());
  // WaitFor on the main thread serves the OnTerminate call it waits for.
  EXPECT_EQ(thread->WaitFor(), 42);
  EXPECT_TRUE(thread->Finished());
  EXPECT_EQ(thread->ReturnValue(), 42);
  EXPECT_EQ(idInside, thread->ThreadID());
  EXPECT_TRUE(pthread_equal(selfInside, thread->Handle()));
  EXPECT_EQ(terminateThread, MainThreadID());
  EXPECT_EQ(terminateSender, thread.get());
  EXPECT_EQ(thread->FatalException(), nullptr);
  EXPECT_EQ(thread->WaitFor(), 42);  // a second wait returns at once
}

TEST(Thread, FreesItselfOnTerminate) {
  std::atomic<bool> destroyed{false};
  std::atomic<DWORD> destroyedOn{0};
  DWORD terminateThread = 0;
  auto* thread = new TLambdaThread([](TLambdaThread&) {}, [&] {
    destroyedOn = GetCurrentThreadId();
    destroyed = true;
  });
  const DWORD id = thread->ThreadID();
  thread->SetFreeOnTerminate(true);
  thread->OnTerminate = [&](TThread*) { terminateThread = GetCurrentThreadId(); };
  thread->Start();
  ServeThreadWindowUntil([&] { return destroyed.load(); });
  EXPECT_EQ(terminateThread, MainThreadID());
  EXPECT_EQ(destroyedOn.load(), id);  // deleted by its own thread
}

TEST(Thread, ExceptionFromExecuteIsKept) {
  bool terminated = false;
  TLambdaThread thread([](TLambdaThread&) { throw EOutOfResources("no more handles"); });
  thread.OnTerminate = [&](TThread*) { terminated = true; };
  thread.Start();
  EXPECT_NO_THROW(thread.WaitFor());
  EXPECT_TRUE(terminated);
  ASSERT_NE(thread.FatalException(), nullptr);
  try {
    std::rethrow_exception(thread.FatalException());
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message, "no more handles");
  }
}

TEST(Thread, TerminatedBeforeStartSkipsExecuteButStillEnds) {
  bool executed = false, terminated = false;
  TLambdaThread thread([&](TLambdaThread&) { executed = true; });
  thread.OnTerminate = [&](TThread*) { terminated = true; };
  thread.Terminate();
  thread.Resume();  // as a stopping painter does, so that its thread can end
  thread.WaitFor();
  EXPECT_FALSE(executed);
  EXPECT_TRUE(terminated);
}

TEST(Thread, DestroyingARunningThreadTerminatesAndWaits) {
  std::atomic<bool> left{false};
  TEvent running(true, false);
  auto thread = std::make_unique<TLambdaThread>([&](TLambdaThread& self) {
    running.SetEvent();
    while (!self.Terminated()) std::this_thread::yield();
    TThread::Synchronize(&self, [] {});  // the waiting main thread must serve this
    left = true;
  });
  thread->Start();
  running.WaitFor(INFINITE);
  thread.reset();
  EXPECT_TRUE(left.load());
  // A never-started thread is simply destroyed.
  bool executed = false;
  { TLambdaThread idle([&](TLambdaThread&) { executed = true; }); }
  EXPECT_FALSE(executed);
}

TEST(Thread, MisuseRaisesEThread) {
  TLambdaThread never([](TLambdaThread&) {});
  EXPECT_THROW(never.WaitFor(), EThread);
  std::string selfWait;
  TLambdaThread self([&](TLambdaThread& me) {
    try {
      me.WaitFor();
    } catch (const EThread& e) {
      selfWait = e.Message;
    }
  });
  self.Start();
  self.WaitFor();
  EXPECT_EQ(selfWait, "A thread cannot wait for itself");
}

int ThreadNice() { return getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid))); }

TEST(Thread, PriorityIsStoredAndAppliedWhereAllowed) {
  struct TCase {
    TThreadPriority priority;
    int nice;
  };
  const TCase table[] = {{tpIdle, 19},  {tpLowest, 10},   {tpLower, 5},         {tpNormal, 0},
                         {tpHigher, -5}, {tpHighest, -10}, {tpTimeCritical, -20}};
  const int baseNice = ThreadNice();
  for (const auto& c : table) {
    SCOPED_TRACE(int(c.priority));
    int inside = 0;
    TLambdaThread thread([&](TLambdaThread&) { inside = ThreadNice(); });
    EXPECT_EQ(thread.Priority(), tpNormal);
    thread.SetPriority(c.priority);
    EXPECT_EQ(thread.Priority(), c.priority);
    thread.Start();
    thread.WaitFor();
    // Lowering always works; raising may need privileges, and fails quietly.
    if (c.nice >= baseNice)
      EXPECT_EQ(inside, c.nice);
    else
      EXPECT_LE(inside, baseNice);
  }
  // A running thread is changed at once.
  TEvent changed(true, false);
  int after = 0;
  TLambdaThread running([&](TLambdaThread&) {
    changed.WaitFor(INFINITE);
    after = ThreadNice();
  });
  running.Start();
  running.SetPriority(tpIdle);
  changed.SetEvent();
  running.WaitFor();
  EXPECT_EQ(after, 19);
}

TEST(Thread, StartNewBuildsAndStarts) {
  TEvent ran(true, false);
  std::unique_ptr<TLambdaThread> thread(
      TThread::StartNew<TLambdaThread>([&](TLambdaThread&) { ran.SetEvent(); }));
  EXPECT_EQ(ran.WaitFor(INFINITE), WAIT_OBJECT_0);
  thread->WaitFor();
}

}  // namespace
}  // namespace platform
