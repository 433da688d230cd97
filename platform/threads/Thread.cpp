#include "platform/threads/Thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <deque>
#include <system_error>

#include "platform/rtl/Exceptions.h"
#include "platform/threads/Messages.h"
#include "platform/threads/ThreadIds.h"

namespace platform {

namespace {

// Nice values for the seven levels. Only the system's superuser may raise a
// thread above normal (or back up after lowering it); such failures are
// ignored and the level stays stored.
constexpr std::array<int, 7> kNiceOfPriority = {19, 10, 5, 0, -5, -10, -20};

struct TSyncRecord {
  const std::function<void()>* method;
  std::exception_ptr error;
  bool done = false;
};

// One lock and one condition for the synchronised calls and for thread ends:
// a main thread waiting for a thread wakes for either.
struct TSyncState {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<TSyncRecord*> queue;
};

TSyncState& Sync() {
  // Never destroyed: detached threads may still end while the process ends.
  static TSyncState* state = new TSyncState;
  return *state;
}

LRESULT ThreadWindowProc(UINT message, WPARAM, LPARAM) {
  if (message == WM_SYNCHRONIZE) CheckSynchronize();
  return 0;
}

HWND ThreadWindow() {
  static const HWND window = AllocateHWnd(ThreadWindowProc);
  return window;
}

// The thread window must belong to the main thread: make it during static
// initialisation, which runs there.
[[maybe_unused]] const HWND gThreadWindow = ThreadWindow();

}  // namespace

bool CheckSynchronize() {
  if (!IsMainThread())
    throw EThread("CheckSynchronize called from a thread other than the main thread");
  auto& sync = Sync();
  std::deque<TSyncRecord*> batch;
  {
    std::lock_guard guard(sync.lock);
    batch.swap(sync.queue);
  }
  for (TSyncRecord* record : batch) {
    try {
      (*record->method)();
    } catch (...) {
      record->error = std::current_exception();
    }
    {
      std::lock_guard guard(sync.lock);
      record->done = true;
    }
    sync.changed.notify_all();
  }
  return !batch.empty();
}

void TThread::Synchronize(TThread*, const TThreadMethod& method) {
  if (!method) return;
  if (IsMainThread()) {
    method();
    return;
  }
  auto& sync = Sync();
  TSyncRecord record{&method, nullptr};
  {
    std::lock_guard guard(sync.lock);
    sync.queue.push_back(&record);
  }
  sync.changed.notify_all();  // a main thread inside WaitFor serves it at once
  PostMessage(ThreadWindow(), WM_SYNCHRONIZE, 0, 0);
  {
    std::unique_lock guard(sync.lock);
    sync.changed.wait(guard, [&] { return record.done; });
  }
  if (record.error) std::rethrow_exception(record.error);
}

TThread::TThread() : threadId_(detail::AllocateThreadId()) {}

TThread::~TThread() {
  if (!started_.load()) return;
  if (GetCurrentThreadId() == threadId_) {
    // Deleted by its own thread (free on terminate): nothing to wait for.
    if (thread_.joinable()) thread_.detach();
    return;
  }
  Terminate();
  WaitFinished();
  Join();
}

void TThread::Start() {
  std::lock_guard guard(joinLock_);
  if (started_.exchange(true)) throw EThread("Cannot call Start on a running or finished thread");
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& error) {
    started_.store(false);
    throw EThread(Format("Thread creation error: %s", error.what()));
  }
  handle_ = thread_.native_handle();
}

void TThread::Resume() {
  if (started_.load()) return;
  try {
    Start();
  } catch (const EThread&) {
    if (!started_.load()) throw;  // creation failed; otherwise another caller won the race
  }
}

void TThread::Run() {
  {
    // Start holds this until thread_ is stored; a thread that frees itself
    // must not outrun it.
    std::lock_guard guard(joinLock_);
  }
  detail::AdoptThreadId(threadId_);
  {
    std::lock_guard guard(priorityLock_);
    kernelTid_.store(int(syscall(SYS_gettid)));
  }
  ApplyPriority();

  try {
    if (!Terminated()) Execute();
  } catch (...) {
    std::lock_guard guard(fatalLock_);
    fatalException_ = std::current_exception();
  }
  try {
    if (OnTerminate) Synchronize(this, [this] { OnTerminate(this); });
  } catch (...) {
    std::lock_guard guard(fatalLock_);
    if (!fatalException_) fatalException_ = std::current_exception();
  }

  {
    // The kernel may hand the id to a new thread once this one is gone.
    std::lock_guard guard(priorityLock_);
    kernelTid_.store(0);
  }
  auto& sync = Sync();
  bool freeSelf;
  {
    std::lock_guard guard(sync.lock);
    freeSelf = freeOnTerminate_.load();
    finished_.store(true);
  }
  sync.changed.notify_all();
  // From here on, only a thread that frees itself may touch the object.
  if (freeSelf) delete this;
}

void TThread::WaitFinished() {
  auto& sync = Sync();
  std::unique_lock guard(sync.lock);
  if (!IsMainThread()) {
    sync.changed.wait(guard, [this] { return finished_.load(); });
    return;
  }
  // The thread may need the main thread (OnTerminate, Synchronize) to end.
  while (!finished_.load()) {
    if (!sync.queue.empty()) {
      guard.unlock();
      CheckSynchronize();
      guard.lock();
      continue;
    }
    sync.changed.wait(guard);
  }
}

void TThread::Join() {
  std::lock_guard guard(joinLock_);
  if (thread_.joinable()) thread_.join();
}

int TThread::WaitFor() {
  if (!started_.load()) throw EThread("Cannot wait for a thread that was never started");
  if (GetCurrentThreadId() == threadId_) throw EThread("A thread cannot wait for itself");
  WaitFinished();
  Join();
  return ReturnValue();
}

void TThread::SetPriority(TThreadPriority value) {
  if (value > tpTimeCritical) value = tpNormal;
  priority_.store(value);
  ApplyPriority();
}

void TThread::ApplyPriority() {
  std::lock_guard guard(priorityLock_);
  const int tid = kernelTid_.load();
  if (tid == 0) return;
  // Per-thread niceness is a Linux feature of PRIO_PROCESS with a thread id.
  [[maybe_unused]] int result = setpriority(PRIO_PROCESS, id_t(tid), kNiceOfPriority[priority_.load()]);
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard guard(fatalLock_);
  return fatalException_;
}

}  // namespace platform
