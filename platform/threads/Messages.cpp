#include "platform/threads/Messages.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/rtl/Clock.h"
#include "platform/rtl/Exceptions.h"
#include "platform/threads/ThreadIds.h"

namespace platform {

namespace {

std::atomic<DWORD> gLastThreadId{0};
thread_local DWORD tThreadId = 0;

struct TTimer {
  HWND hwnd;
  UINT_PTR id;
  uint32_t elapse;
  uint32_t due;  // Clock() milliseconds
};

// A message sent from another thread, waiting for the owner to run it. The
// sender takes the result (and any exception) out under the lock, so the
// exception object never outlives the sender's catch on the owner's side.
struct TSentMessage {
  TSentMessage(HWND window, UINT number, WPARAM w, LPARAM l)
      : hwnd(window), message(number), wParam(w), lParam(l) {}
  void Finish(LRESULT value, std::exception_ptr failure) {
    {
      std::lock_guard guard(lock);
      result = value;
      error = std::move(failure);
      done = true;
    }
    finished.notify_all();
  }
  LRESULT Await() {
    std::exception_ptr failure;
    {
      std::unique_lock guard(lock);
      finished.wait(guard, [this] { return done; });
      failure = std::move(error);
    }
    if (failure) std::rethrow_exception(failure);
    return result;
  }

  const HWND hwnd;
  const UINT message;
  const WPARAM wParam;
  const LPARAM lParam;
  std::mutex lock;
  std::condition_variable finished;
  LRESULT result = 0;
  std::exception_ptr error;
  bool done = false;
};

struct TQueue {
  explicit TQueue(DWORD owner) : threadId(owner), wakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd < 0)
      throw EOutOfResources(Format("Cannot create a message queue: %s", std::strerror(errno)));
  }
  ~TQueue() { close(wakeFd); }
  TQueue(const TQueue&) = delete;
  TQueue& operator=(const TQueue&) = delete;

  void Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
  }
  void Drain() {
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(wakeFd, &count, sizeof count);
  }

  const DWORD threadId;
  const int wakeFd;

  std::mutex lock;
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
  uint64_t postSeq = 0;  // counts arrivals, for WaitMessage's "new message"
  uint64_t seenSeq = 0;
  std::deque<std::shared_ptr<TSentMessage>> sent;
  std::vector<TTimer> timers;
  bool dead = false;  // its thread has ended
};

struct TWindow {
  std::shared_ptr<TWindowProc> proc;
  DWORD owner;
};

struct TRegistry {
  std::mutex lock;
  std::unordered_map<DWORD, std::shared_ptr<TQueue>> queues;
  std::unordered_map<uintptr_t, TWindow> windows;
  uintptr_t lastWindow = 0;
  UINT_PTR lastTimerId = 0;

  std::mutex descriptorLock;
  std::map<int, std::shared_ptr<std::function<void()>>> descriptors;
};

TRegistry& Registry() {
  // Never destroyed: threads may still post while the process ends.
  static TRegistry* registry = new TRegistry;
  return *registry;
}

void RetireQueue(const std::shared_ptr<TQueue>& queue);

// The calling thread's queue, created on first use. A thread's queue is
// retired with the thread; the main thread's lives as long as the process,
// because static destructors may still post and pump after main() returns.
thread_local TQueue* tCurrentQueue = nullptr;
thread_local bool tQueueRetired = false;

struct TQueueHolder {
  std::shared_ptr<TQueue> queue;
  ~TQueueHolder() {
    if (queue) RetireQueue(queue);
    tCurrentQueue = nullptr;
    tQueueRetired = true;
  }
};
thread_local TQueueHolder tQueueHolder;

TQueue& CurrentQueue() {
  if (tCurrentQueue) return *tCurrentQueue;
  auto queue = std::make_shared<TQueue>(GetCurrentThreadId());
  {
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.queues[queue->threadId] = queue;
  }
  // A thread that asks again while its thread-locals are being destroyed
  // keeps the new queue for the short rest of its life.
  if (!IsMainThread() && !tQueueRetired) tQueueHolder.queue = queue;
  tCurrentQueue = queue.get();
  return *tCurrentQueue;
}

std::shared_ptr<TQueue> FindQueue(DWORD threadId) {
  auto& registry = Registry();
  std::lock_guard guard(registry.lock);
  auto it = registry.queues.find(threadId);
  return it == registry.queues.end() ? nullptr : it->second;
}

std::shared_ptr<TWindowProc> FindProc(HWND hwnd, DWORD* owner = nullptr) {
  auto& registry = Registry();
  std::lock_guard guard(registry.lock);
  auto it = registry.windows.find(reinterpret_cast<uintptr_t>(hwnd));
  if (it == registry.windows.end()) return nullptr;
  if (owner) *owner = it->second.owner;
  return it->second.proc;
}

void RetireQueue(const std::shared_ptr<TQueue>& queue) {
  auto& registry = Registry();
  {
    std::lock_guard guard(registry.lock);
    registry.queues.erase(queue->threadId);
    std::erase_if(registry.windows, [&](const auto& entry) { return entry.second.owner == queue->threadId; });
  }
  std::deque<std::shared_ptr<TSentMessage>> unserved;
  {
    std::lock_guard guard(queue->lock);
    queue->dead = true;
    unserved.swap(queue->sent);
  }
  for (auto& message : unserved) message->Finish(0, nullptr);
}

bool Post(TQueue& queue, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard guard(queue.lock);
    if (queue.dead) return false;
    queue.posted.push_back(MSG{hwnd, message, wParam, lParam, timeGetTime()});
    ++queue.postSeq;
  }
  queue.Wake();
  return true;
}

bool Matches(HWND messageWindow, UINT message, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (hwnd == HWND_THREADMESSAGES) {
    if (messageWindow) return false;
  } else if (hwnd && messageWindow != hwnd) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return message >= filterMin && message <= filterMax;
}

bool Due(const TTimer& timer, uint32_t now) { return int32_t(now - timer.due) >= 0; }

// Runs the messages other threads sent to this thread's windows.
bool ServeSent(TQueue& queue) {
  std::deque<std::shared_ptr<TSentMessage>> batch;
  {
    std::lock_guard guard(queue.lock);
    batch.swap(queue.sent);
  }
  const bool any = !batch.empty();
  while (!batch.empty()) {
    auto sent = std::move(batch.front());
    batch.pop_front();
    LRESULT result = 0;
    std::exception_ptr failure;
    try {
      auto proc = FindProc(sent->hwnd);
      if (proc && *proc) result = (*proc)(sent->message, sent->wParam, sent->lParam);
    } catch (...) {
      failure = std::current_exception();
    }
    sent->Finish(result, std::move(failure));
  }
  return any;
}

bool Take(TQueue& queue, MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
  std::lock_guard guard(queue.lock);
  queue.seenSeq = queue.postSeq;
  auto it = std::find_if(queue.posted.begin(), queue.posted.end(), [&](const MSG& m) {
    return m.message == WM_QUIT || Matches(m.hwnd, m.message, hwnd, filterMin, filterMax);
  });
  if (it != queue.posted.end()) {
    msg = *it;
    if (remove) queue.posted.erase(it);
    return true;
  }
  if (queue.quit) {
    msg = MSG{nullptr, WM_QUIT, WPARAM(queue.quitCode), 0, timeGetTime()};
    if (remove) queue.quit = false;
    return true;
  }
  const uint32_t now = Clock().Milliseconds();
  for (auto& timer : queue.timers) {
    if (Due(timer, now) && Matches(timer.hwnd, WM_TIMER, hwnd, filterMin, filterMax)) {
      msg = MSG{timer.hwnd, WM_TIMER, WPARAM(timer.id), 0, now};
      if (remove) timer.due = now + timer.elapse;
      return true;
    }
  }
  return false;
}

// Milliseconds until the first timer that the filter lets through is due;
// -1 when there is none.
int TimerWait(TQueue& queue, HWND hwnd, UINT filterMin, UINT filterMax) {
  std::lock_guard guard(queue.lock);
  const uint32_t now = Clock().Milliseconds();
  int best = -1;
  for (const auto& timer : queue.timers) {
    if (!Matches(timer.hwnd, WM_TIMER, hwnd, filterMin, filterMax)) continue;
    const int wait = Due(timer, now) ? 0 : int(timer.due - now);
    if (best < 0 || wait < best) best = wait;
  }
  return best;
}

thread_local bool tInDescriptorHandler = false;

// Waits up to timeoutMs (-1: no limit) for the queue's wake descriptor and,
// on the main thread, the main-loop descriptors; runs the handlers of those
// that are readable. True when a handler ran.
bool PollOnce(TQueue& queue, int timeoutMs) {
  std::vector<pollfd> fds{{queue.wakeFd, POLLIN, 0}};
  std::vector<std::shared_ptr<std::function<void()>>> handlers{nullptr};
  const bool withDescriptors = IsMainThread() && !tInDescriptorHandler;
  auto& registry = Registry();
  if (withDescriptors) {
    std::lock_guard guard(registry.descriptorLock);
    for (const auto& [fd, handler] : registry.descriptors) {
      fds.push_back({fd, POLLIN, 0});
      handlers.push_back(handler);
    }
  }
  int ready;
  do {
    ready = poll(fds.data(), fds.size(), timeoutMs);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  if (fds[0].revents) queue.Drain();
  bool ran = false;
  for (size_t i = 1; i < fds.size(); ++i) {
    if (!fds[i].revents) continue;
    {
      std::lock_guard guard(registry.descriptorLock);
      auto it = registry.descriptors.find(fds[i].fd);
      // Removed (or replaced) by an earlier handler of this round.
      if (it == registry.descriptors.end() || it->second != handlers[i]) continue;
      if (fds[i].revents & POLLNVAL) {
        // Closed without being removed: it would wake every wait from now on.
        registry.descriptors.erase(it);
        continue;
      }
    }
    tInDescriptorHandler = true;
    struct TReset {
      ~TReset() { tInDescriptorHandler = false; }
    } reset;
    ran = true;
    if (*handlers[i]) (*handlers[i])();
  }
  return ran;
}

}  // namespace

namespace detail {

DWORD AllocateThreadId() { return ++gLastThreadId; }

void AdoptThreadId(DWORD id) { tThreadId = id; }

}  // namespace detail

DWORD GetCurrentThreadId() {
  if (tThreadId == 0) tThreadId = detail::AllocateThreadId();
  return tThreadId;
}

DWORD MainThreadID() {
  static const DWORD id = GetCurrentThreadId();
  return id;
}

bool IsMainThread() { return GetCurrentThreadId() == MainThreadID(); }

namespace {
// Static initialisation runs on the thread that will run main(): record it
// as the main thread and give it its queue before anything else can ask.
[[maybe_unused]] const bool gMainThreadReady = [] {
  MainThreadID();
  CurrentQueue();
  return true;
}();
}  // namespace

HWND AllocateHWnd(TWindowProc proc) {
  CurrentQueue();
  auto& registry = Registry();
  std::lock_guard guard(registry.lock);
  const uintptr_t key = ++registry.lastWindow;
  registry.windows[key] = TWindow{std::make_shared<TWindowProc>(std::move(proc)), GetCurrentThreadId()};
  return reinterpret_cast<HWND>(key);
}

void DeallocateHWnd(HWND hwnd) {
  DWORD owner = 0;
  auto& registry = Registry();
  {
    std::lock_guard guard(registry.lock);
    auto it = registry.windows.find(reinterpret_cast<uintptr_t>(hwnd));
    if (it == registry.windows.end()) return;
    owner = it->second.owner;
    registry.windows.erase(it);
  }
  if (auto queue = FindQueue(owner)) {
    std::lock_guard guard(queue->lock);
    std::erase_if(queue->timers, [&](const TTimer& timer) { return timer.hwnd == hwnd; });
  }
}

bool IsWindow(HWND hwnd) { return FindProc(hwnd) != nullptr; }

DWORD GetWindowThreadProcessId(HWND hwnd, DWORD* pid) {
  DWORD owner = 0;
  if (!FindProc(hwnd, &owner)) return 0;
  if (pid) *pid = DWORD(getpid());
  return owner;
}

bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!hwnd) return Post(CurrentQueue(), nullptr, message, wParam, lParam);
  DWORD owner = 0;
  if (!FindProc(hwnd, &owner)) return false;
  auto queue = FindQueue(owner);
  return queue && Post(*queue, hwnd, message, wParam, lParam);
}

bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  auto queue = FindQueue(threadId);
  return queue && Post(*queue, nullptr, message, wParam, lParam);
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD owner = 0;
  auto proc = FindProc(hwnd, &owner);
  if (!proc) return 0;
  if (owner == GetCurrentThreadId()) return *proc ? (*proc)(message, wParam, lParam) : 0;
  auto queue = FindQueue(owner);
  if (!queue) return 0;
  auto sent = std::make_shared<TSentMessage>(hwnd, message, wParam, lParam);
  {
    std::lock_guard guard(queue->lock);
    if (queue->dead) return 0;
    queue->sent.push_back(sent);
  }
  queue->Wake();
  return sent->Await();
}

bool PeekMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  TQueue& queue = CurrentQueue();
  ServeSent(queue);
  PollOnce(queue, 0);
  return Take(queue, msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0);
}

bool GetMessage(MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  TQueue& queue = CurrentQueue();
  for (;;) {
    ServeSent(queue);
    PollOnce(queue, 0);
    if (Take(queue, msg, hwnd, filterMin, filterMax, true)) return msg.message != WM_QUIT;
    const int wait = TimerWait(queue, hwnd, filterMin, filterMax);
    if (wait > 0 && Clock().ElapseWait(uint32_t(wait))) continue;
    PollOnce(queue, wait);
  }
}

void WaitMessage() {
  TQueue& queue = CurrentQueue();
  for (;;) {
    if (ServeSent(queue) || PollOnce(queue, 0)) return;
    {
      std::lock_guard guard(queue.lock);
      if (queue.postSeq != queue.seenSeq) {
        queue.seenSeq = queue.postSeq;
        return;
      }
    }
    const int wait = TimerWait(queue, nullptr, 0, 0);
    if (wait == 0) return;
    if (wait > 0 && Clock().ElapseWait(uint32_t(wait))) return;
    if (PollOnce(queue, wait)) return;
  }
}

bool TranslateMessage(const MSG&) { return false; }

LRESULT DispatchMessage(const MSG& msg) {
  if (!msg.hwnd) return 0;
  auto proc = FindProc(msg.hwnd);
  return proc && *proc ? (*proc)(msg.message, msg.wParam, msg.lParam) : 0;
}

void PostQuitMessage(int exitCode) {
  TQueue& queue = CurrentQueue();
  {
    std::lock_guard guard(queue.lock);
    queue.quit = true;
    queue.quitCode = exitCode;
    ++queue.postSeq;
  }
  queue.Wake();
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs) {
  auto& registry = Registry();
  if (hwnd) {
    DWORD owner = 0;
    if (!FindProc(hwnd, &owner) || owner != GetCurrentThreadId()) return 0;
  } else {
    std::lock_guard guard(registry.lock);
    id = ++registry.lastTimerId;
  }
  const uint32_t elapse = std::max<uint32_t>(elapseMs, 10);
  TQueue& queue = CurrentQueue();
  {
    std::lock_guard guard(queue.lock);
    const TTimer timer{hwnd, id, elapse, Clock().Milliseconds() + elapse};
    auto it = std::find_if(queue.timers.begin(), queue.timers.end(),
                           [&](const TTimer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it != queue.timers.end())
      *it = timer;
    else
      queue.timers.push_back(timer);
  }
  queue.Wake();
  return id;
}

bool KillTimer(HWND hwnd, UINT_PTR id) {
  TQueue& queue = CurrentQueue();
  std::lock_guard guard(queue.lock);
  return std::erase_if(queue.timers, [&](const TTimer& t) { return t.hwnd == hwnd && t.id == id; }) > 0;
}

void AddMainLoopDescriptor(int fd, std::function<void()> onReadable) {
  auto& registry = Registry();
  {
    std::lock_guard guard(registry.descriptorLock);
    registry.descriptors[fd] = std::make_shared<std::function<void()>>(std::move(onReadable));
  }
  // A main thread already blocked in poll() must pick up the new descriptor.
  if (auto main = FindQueue(MainThreadID())) main->Wake();
}

void RemoveMainLoopDescriptor(int fd) {
  auto& registry = Registry();
  std::lock_guard guard(registry.descriptorLock);
  registry.descriptors.erase(fd);
}

}  // namespace platform
