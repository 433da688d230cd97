#include "gif/render/RenderPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

#include "gif/picture/Settings.h"
#include "platform/rtl/Clock.h"
#include "platform/threads/Messages.h"

namespace gif {

using platform::TCriticalSection;
using platform::TThreadPriority;

void TRenderTicket::RenderAhead() {
  std::lock_guard guard(lock_);
  if (render_) render_();
}

void TRenderTicket::Close() {
  std::lock_guard guard(lock_);
  render_ = nullptr;
}

struct TRenderer::TState {
  // Lock order where both are held: QueueLock first, then WorkersLock.
  TCriticalSection QueueLock;
  std::deque<std::shared_ptr<TRenderTicket>> RequestQueue;
  TCriticalSection WorkersLock;
  std::vector<TRenderThread*> Workers;  // idle workers move to the front
  platform::TSemaphore WorkSemaphore{0, 0x7FFFFFFF};
  bool Closed = false;  // under QueueLock

  // Worker threads still running Execute; the destructor waits for none.
  std::mutex LiveLock;
  std::condition_variable LiveChanged;
  size_t Live = 0;

  bool QueueEmpty() {
    std::lock_guard guard(QueueLock);
    return RequestQueue.empty();
  }
};

class TRenderThread : public platform::TThread {
public:
  explicit TRenderThread(std::shared_ptr<TRenderer::TState> Pool) : Pool(std::move(Pool)) {
    SetFreeOnTerminate(true);
  }
  // Counted here, not in Execute: a worker stopped before it ran never
  // enters Execute, but its thread still ends and frees it.
  ~TRenderThread() override {
    std::lock_guard guard(Pool->LiveLock);
    --Pool->Live;
    Pool->LiveChanged.notify_all();
  }
  const char* ClassName() const noexcept { return "TRenderThread"; }

  std::atomic<bool> Idle{true};

protected:
  void Execute() override {
    while (!Terminated()) {
      if (Pool->WorkSemaphore.WaitFor(static_cast<platform::DWORD>(RenderIdleMs)) ==
          platform::WAIT_TIMEOUT) {
        std::lock_guard guard(Pool->WorkersLock);
        auto& workers = Pool->Workers;
        workers.erase(std::remove(workers.begin(), workers.end(), this), workers.end());
        return;
      }
      if (Terminated()) return;
      {
        std::lock_guard queue(Pool->QueueLock);
        if (Terminated()) return;
        if (!Pool->RequestQueue.empty()) {
          Idle = false;
          CurrentRequest = std::move(Pool->RequestQueue.front());
          Pool->RequestQueue.pop_front();
        } else {
          // Another worker took the request, or it was withdrawn.
          Idle = true;
          std::lock_guard guard(Pool->WorkersLock);
          auto& workers = Pool->Workers;
          auto it = std::find(workers.begin(), workers.end(), this);
          if (it != workers.end()) std::rotate(workers.begin(), it, it + 1);
          CurrentRequest.reset();
        }
      }
      if (Terminated()) return;
      if (CurrentRequest) {
        SetPriority(CurrentRequest->Priority.load());
        try {
          std::shared_ptr<TRenderTicket> ticket = CurrentRequest;
          Synchronize([ticket] { ticket->RenderAhead(); });
        } catch (...) {
          // The frame is rendered on demand when it is painted.
        }
        SetPriority(platform::tpNormal);
        CurrentRequest->WakeEvent.SetEvent();
        CurrentRequest.reset();
        Idle = true;
        // Leave the main thread some room between requests.
        if (!Pool->QueueEmpty()) platform::Sleep(10);
      }
    }
  }

private:
  std::shared_ptr<TRenderTicket> CurrentRequest;
  std::shared_ptr<TRenderer::TState> Pool;
};

TRenderer::TRenderer() : state_(std::make_shared<TState>()) {}

TRenderer::~TRenderer() {
  TState& s = *state_;
  {
    std::lock_guard guard(s.WorkersLock);
    for (TRenderThread* worker : s.Workers) worker->Terminate();
    if (!s.Workers.empty()) s.WorkSemaphore.Release(static_cast<platform::LONG>(s.Workers.size()));
    s.Workers.clear();
  }
  {
    std::lock_guard guard(s.QueueLock);
    s.Closed = true;
    for (auto& ticket : s.RequestQueue) ticket->WakeEvent.SetEvent();
    s.RequestQueue.clear();
  }
  // Workers use the shared state only, but no thread may outlive the pool:
  // wait for them, serving the synchronised calls they may be blocked in.
  const bool main = platform::IsMainThread();
  std::unique_lock lock(s.LiveLock);
  while (s.Live > 0) {
    if (main) {
      lock.unlock();
      platform::CheckSynchronize();
      lock.lock();
    }
    s.LiveChanged.wait_for(lock, std::chrono::milliseconds(1));
  }
}

bool TRenderer::RequestRender(const std::shared_ptr<TRenderTicket>& Ticket) {
  std::shared_ptr<TState> state = state_;
  TState& s = *state;
  {
    std::lock_guard queue(s.QueueLock);
    if (s.Closed) return true;
    {
      std::lock_guard guard(s.WorkersLock);
      const bool reuse = !s.Workers.empty() && s.Workers.front()->Idle;
      if (!reuse && static_cast<int32_t>(s.Workers.size()) < RenderThreadLimit) {
        auto* worker = new TRenderThread(state);
        {
          std::lock_guard live(s.LiveLock);
          ++s.Live;
        }
        s.Workers.push_back(worker);
        worker->Start();
      }
    }
    s.RequestQueue.push_back(Ticket);
    s.WorkSemaphore.Release(1);
  }
  if (Ticket->WakeEvent.WaitFor(static_cast<platform::DWORD>(RenderWaitMs)) == platform::WAIT_TIMEOUT) {
    std::lock_guard queue(s.QueueLock);
    auto& q = s.RequestQueue;
    q.erase(std::remove(q.begin(), q.end(), Ticket), q.end());
    return false;
  }
  return true;
}

size_t TRenderer::WorkerCount() {
  std::lock_guard guard(state_->WorkersLock);
  return state_->Workers.size();
}

size_t TRenderer::BusyWorkers() {
  std::lock_guard guard(state_->WorkersLock);
  return static_cast<size_t>(std::count_if(state_->Workers.begin(), state_->Workers.end(),
                                           [](TRenderThread* w) { return !w->Idle; }));
}

size_t TRenderer::QueuedCount() {
  std::lock_guard guard(state_->QueueLock);
  return state_->RequestQueue.size();
}

size_t TRenderer::LiveWorkers() {
  std::lock_guard guard(state_->LiveLock);
  return state_->Live;
}

namespace {
std::mutex g_pool_lock;
std::unique_ptr<TRenderer> g_pool;
}  // namespace

TRenderer& RenderPool() {
  std::lock_guard guard(g_pool_lock);
  if (!g_pool) g_pool = std::make_unique<TRenderer>();
  return *g_pool;
}

TRenderer* RenderPoolIfCreated() {
  std::lock_guard guard(g_pool_lock);
  return g_pool.get();
}

void FreeRenderPool() {
  std::unique_ptr<TRenderer> pool;
  {
    std::lock_guard guard(g_pool_lock);
    pool = std::move(g_pool);
  }
  pool.reset();
}

}  // namespace gif
