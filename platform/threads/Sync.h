#pragma once
// Locks and wait objects. Typed RAII classes (TCriticalSection, TThreadList,
// TEvent, TSemaphore) carry the behaviour; the Win32-style functions below are
// a thin layer over them through a handle table, so that a closed handle is
// detected (WAIT_FAILED, false) instead of being used.
//
// Timed waits: a finite wait that is not satisfied at once first asks
// Clock().ElapseWait(timeout). A test clock then advances its time and the
// wait returns WAIT_TIMEOUT at once, even when another thread would have
// signalled the object a moment later; that is what lets timed code (frame
// delays, render time-outs) run fast and exactly under test.

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/threads/Types.h"

namespace platform {

inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// A re-entrant lock; usable with std::lock_guard / std::unique_lock.
class TCriticalSection {
public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

  void lock() { Enter(); }
  void unlock() { Leave(); }
  bool try_lock() { return TryEnter(); }

private:
  std::recursive_mutex mutex_;
};

// A list of (not owned) pointers behind a re-entrant lock. LockList returns
// the list and keeps the lock until UnlockList; Lock() does the same with a
// guard. Add ignores a pointer that is already listed.
template <class T>
class TThreadList {
public:
  using TItems = std::vector<T*>;

  class TLocked {
  public:
    explicit TLocked(TThreadList& list) : list_(&list) { list_->lock_.Enter(); }
    TLocked(TLocked&& other) noexcept : list_(other.list_) { other.list_ = nullptr; }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;
    TLocked& operator=(TLocked&&) = delete;
    ~TLocked() {
      if (list_) list_->lock_.Leave();
    }
    TItems& operator*() const { return list_->items_; }
    TItems* operator->() const { return &list_->items_; }

  private:
    TThreadList* list_;
  };

  TItems& LockList() {
    lock_.Enter();
    return items_;
  }
  void UnlockList() { lock_.Leave(); }
  TLocked Lock() { return TLocked(*this); }

  void Add(T* item) {
    std::lock_guard guard(lock_);
    if (std::find(items_.begin(), items_.end(), item) == items_.end()) items_.push_back(item);
  }
  void Remove(T* item) {
    std::lock_guard guard(lock_);
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it != items_.end()) items_.erase(it);
  }
  void Clear() {
    std::lock_guard guard(lock_);
    items_.clear();
  }

private:
  TCriticalSection lock_;
  TItems items_;
};

// Something a thread can wait for.
class TWaitObject {
public:
  virtual ~TWaitObject() = default;
  TWaitObject() = default;
  TWaitObject(const TWaitObject&) = delete;
  TWaitObject& operator=(const TWaitObject&) = delete;

  // WAIT_OBJECT_0 when acquired (an auto-reset event is reset, a semaphore
  // count taken), WAIT_TIMEOUT when timeoutMs ran out; INFINITE never does.
  DWORD WaitFor(DWORD timeoutMs);

protected:
  // Called with mutex_ held: take the signal if there is one.
  virtual bool TryAcquire() = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
};

class TEvent : public TWaitObject {
public:
  // A manual-reset event stays signalled until ResetEvent and releases every
  // waiter; an auto-reset one releases one wait and resets itself.
  TEvent(bool manualReset, bool initialState);
  void SetEvent();
  void ResetEvent();
  bool IsSet();

protected:
  bool TryAcquire() override;

private:
  const bool manualReset_;
  bool signalled_;
};

class TSemaphore : public TWaitObject {
public:
  // Raises EOSError unless 0 <= initialCount <= maximumCount and 0 < maximumCount.
  TSemaphore(LONG initialCount, LONG maximumCount);
  // Adds count (> 0); false, and nothing changed, when the maximum would be
  // exceeded. previous receives the count before the release.
  bool Release(LONG count = 1, LONG* previous = nullptr);
  LONG Count();

protected:
  bool TryAcquire() override;

private:
  const LONG maximum_;
  LONG count_;
};

// Win32-style layer. Handles are never reused, so a closed one stays dead.
// nullptr when the arguments are invalid.
HANDLE CreateEvent(bool manualReset, bool initialState);
HANDLE CreateSemaphore(LONG initialCount, LONG maximumCount);
bool SetEvent(HANDLE event);
bool ResetEvent(HANDLE event);
bool ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previous = nullptr);
DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs);
bool CloseHandle(HANDLE object);
// The object behind a live handle (nullptr otherwise); the shared owner keeps
// it valid after CloseHandle for whoever still holds it.
std::shared_ptr<TWaitObject> HandleObject(HANDLE object);

}  // namespace platform
