#include "platform/threads/Sync.h"

#include <chrono>
#include <cstdint>
#include <unordered_map>

#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"

namespace platform {

DWORD TWaitObject::WaitFor(DWORD timeoutMs) {
  std::unique_lock lock(mutex_);
  if (TryAcquire()) return WAIT_OBJECT_0;
  if (timeoutMs == 0) return WAIT_TIMEOUT;
  if (timeoutMs == INFINITE) {
    changed_.wait(lock, [this] { return TryAcquire(); });
    return WAIT_OBJECT_0;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  lock.unlock();
  if (Clock().ElapseWait(timeoutMs)) return WAIT_TIMEOUT;
  lock.lock();
  return changed_.wait_until(lock, deadline, [this] { return TryAcquire(); }) ? WAIT_OBJECT_0
                                                                              : WAIT_TIMEOUT;
}

TEvent::TEvent(bool manualReset, bool initialState)
    : manualReset_(manualReset), signalled_(initialState) {}

void TEvent::SetEvent() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  // Every waiter re-checks; an auto-reset event lets only the first one through.
  changed_.notify_all();
}

void TEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool TEvent::IsSet() {
  std::lock_guard lock(mutex_);
  return signalled_;
}

bool TEvent::TryAcquire() {
  if (!signalled_) return false;
  if (!manualReset_) signalled_ = false;
  return true;
}

TSemaphore::TSemaphore(LONG initialCount, LONG maximumCount)
    : maximum_(maximumCount), count_(initialCount) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount)
    throw EOSError(Format("Invalid semaphore counts (initial %d, maximum %d)", int(initialCount),
                          int(maximumCount)));
}

bool TSemaphore::Release(LONG count, LONG* previous) {
  {
    std::lock_guard lock(mutex_);
    if (count <= 0 || int64_t(count_) + count > maximum_) return false;
    if (previous) *previous = count_;
    count_ += count;
  }
  changed_.notify_all();
  return true;
}

LONG TSemaphore::Count() {
  std::lock_guard lock(mutex_);
  return count_;
}

bool TSemaphore::TryAcquire() {
  if (count_ == 0) return false;
  --count_;
  return true;
}

namespace {

class THandleTable {
public:
  HANDLE Add(std::shared_ptr<TWaitObject> object) {
    std::lock_guard lock(lock_);
    const uintptr_t key = ++last_;
    objects_.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
  }
  std::shared_ptr<TWaitObject> Find(HANDLE handle) {
    std::lock_guard lock(lock_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
  }
  bool Remove(HANDLE handle) {
    std::shared_ptr<TWaitObject> last;  // destroyed outside the lock
    std::lock_guard lock(lock_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects_.end()) return false;
    last = std::move(it->second);
    objects_.erase(it);
    return true;
  }

private:
  std::mutex lock_;
  uintptr_t last_ = 0;
  std::unordered_map<uintptr_t, std::shared_ptr<TWaitObject>> objects_;
};

THandleTable& Handles() {
  // Never destroyed: threads may still close handles while the process ends.
  static THandleTable* table = new THandleTable;
  return *table;
}

template <class T>
std::shared_ptr<T> Find(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(Handles().Find(handle));
}

}  // namespace

HANDLE CreateEvent(bool manualReset, bool initialState) {
  return Handles().Add(std::make_shared<TEvent>(manualReset, initialState));
}

HANDLE CreateSemaphore(LONG initialCount, LONG maximumCount) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) return nullptr;
  return Handles().Add(std::make_shared<TSemaphore>(initialCount, maximumCount));
}

bool SetEvent(HANDLE event) {
  auto object = Find<TEvent>(event);
  if (!object) return false;
  object->SetEvent();
  return true;
}

bool ResetEvent(HANDLE event) {
  auto object = Find<TEvent>(event);
  if (!object) return false;
  object->ResetEvent();
  return true;
}

bool ReleaseSemaphore(HANDLE semaphore, LONG count, LONG* previous) {
  auto object = Find<TSemaphore>(semaphore);
  return object && object->Release(count, previous);
}

DWORD WaitForSingleObject(HANDLE object, DWORD timeoutMs) {
  auto waitable = Handles().Find(object);
  return waitable ? waitable->WaitFor(timeoutMs) : WAIT_FAILED;
}

bool CloseHandle(HANDLE object) { return Handles().Remove(object); }

std::shared_ptr<TWaitObject> HandleObject(HANDLE object) { return Handles().Find(object); }

}  // namespace platform
