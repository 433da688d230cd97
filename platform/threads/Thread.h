#pragma once
// TThread: a thread object with an overridable Execute, and Synchronize, the
// call that runs a function on the main thread while the calling thread
// waits.
//
// Life of a thread object:
//  - it is always created suspended; Start (or Resume) starts its thread.
//    StartNew<T>(...) builds one and starts it at once. (The thread cannot be
//    started by the base constructor: Execute would run before the derived
//    class exists.)
//  - Execute runs; an exception leaving it is kept in FatalException.
//  - then OnTerminate, if set, runs on the main thread through Synchronize;
//  - then the thread is finished; with FreeOnTerminate the thread deletes the
//    object itself (nobody else may delete it or WaitFor it then).
//  - the destructor of a started thread calls Terminate and waits for its
//    end. A derived class whose Execute uses the derived class's own members
//    must do that in its own destructor (Terminate(); WaitFor();), before
//    those members go. A never-started thread is simply destroyed.
//
// Waits on the main thread (WaitFor, the destructor) keep serving
// synchronised calls, so a thread that synchronises while the main thread
// waits for it cannot deadlock.

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/threads/Types.h"

namespace platform {

// The seven priority levels (0 idle ... 3 normal ... 6 time-critical).
enum TThreadPriority : uint8_t {
  tpIdle,
  tpLowest,
  tpLower,
  tpNormal,
  tpHigher,
  tpHighest,
  tpTimeCritical
};

class TThread {
public:
  using TThreadMethod = std::function<void()>;
  using TNotifyEvent = std::function<void(TThread* sender)>;

  TThread();
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  template <class T, class... Args>
  static T* StartNew(Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    thread->Start();
    return thread;
  }

  // Starts the thread; raises EThread when it was started before.
  void Start();
  // Starts the thread if it has not started yet; otherwise nothing.
  void Resume();
  // Asks Execute to end; it polls Terminated().
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  bool Suspended() const { return !started_.load(); }
  bool Finished() const { return finished_.load(); }

  // Waits until the thread has finished (OnTerminate included) and returns
  // ReturnValue. Raises EThread for a thread that was never started or when
  // a thread waits for itself.
  int WaitFor();

  bool FreeOnTerminate() const { return freeOnTerminate_.load(); }
  void SetFreeOnTerminate(bool value) { freeOnTerminate_.store(value); }

  // Stored; applied to the running thread where the system allows it
  // (raising priority usually needs privileges; failures are ignored).
  TThreadPriority Priority() const { return priority_.load(); }
  void SetPriority(TThreadPriority value);

  // The system thread handle (valid once started) and our thread id (fixed
  // at construction; GetCurrentThreadId() returns it inside the thread).
  std::thread::native_handle_type Handle() const { return handle_; }
  DWORD ThreadID() const { return threadId_; }

  int ReturnValue() const { return returnValue_.load(); }
  // What Execute raised, if anything.
  std::exception_ptr FatalException() const;

  // Runs on the main thread, sender this thread.
  TNotifyEvent OnTerminate;

  // From the main thread a direct call; from any other thread the call is
  // queued for the main thread, which runs it when it serves WM_SYNCHRONIZE
  // (or calls CheckSynchronize); the caller blocks until then and gets any
  // exception the method raised. thread may be null (for workers that are
  // not TThread objects).
  void Synchronize(const TThreadMethod& method) { Synchronize(this, method); }
  static void Synchronize(TThread* thread, const TThreadMethod& method);

protected:
  virtual void Execute() = 0;
  void SetReturnValue(int value) { returnValue_.store(value); }

private:
  void Run();
  void WaitFinished();
  void Join();
  void ApplyPriority();

  std::atomic<bool> terminated_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> freeOnTerminate_{false};
  std::atomic<TThreadPriority> priority_{tpNormal};
  std::atomic<int> returnValue_{0};
  std::atomic<int> kernelTid_{0};  // set by the thread itself, for priorities
  const DWORD threadId_;
  std::thread::native_handle_type handle_{};
  std::thread thread_;
  std::mutex joinLock_;  // guards thread_; held by Start until thread_ is stored
  std::mutex priorityLock_;
  mutable std::mutex fatalLock_;
  std::exception_ptr fatalException_;
};

// Runs the synchronised calls that wait for the main thread; true when it ran
// any. Raises EThread on any other thread.
bool CheckSynchronize();

}  // namespace platform
