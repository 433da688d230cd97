#pragma once
// The background render pool: worker threads that take render requests from
// painter threads and have the coming frames rendered in the main thread
// (rendering uses bitmaps, which belong to the main thread) while the
// painters wait, each wait bounded by RenderWaitMs.

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/rtl/Object.h"
#include "platform/threads/Sync.h"
#include "platform/threads/Thread.h"

namespace gif {

// What a painter hands to the pool. It is shared between the painter and the
// worker that serves it: a painter whose wait timed out may end while a
// worker still renders for it, and the worker must still find the wake event.
class TRenderTicket {
public:
  explicit TRenderTicket(std::function<void()> RenderAhead) : render_(std::move(RenderAhead)) {}

  // Auto-reset, initially not signalled: the painter's wake event.
  platform::TEvent WakeEvent{false, false};
  // The priority of the painter's thread; the serving worker takes it on.
  std::atomic<platform::TThreadPriority> Priority{platform::tpNormal};

  // In the main thread: renders the painter's next unrendered frame, or
  // nothing once the painter has closed the ticket.
  void RenderAhead();
  // The painter is going away; waits for a rendering in progress.
  void Close();

private:
  std::mutex lock_;
  std::function<void()> render_;
};

class TRenderThread;

class TRenderer : public platform::TObject {
public:
  TRenderer();
  // Ends every worker (waiting for them, serving their synchronised calls
  // when called in the main thread) and every painter's wait.
  ~TRenderer() override;
  TRenderer(const TRenderer&) = delete;
  TRenderer& operator=(const TRenderer&) = delete;
  const char* ClassName() const noexcept override { return "TRenderer"; }

  // In a painter's thread: queues the ticket and waits on its wake event for
  // RenderWaitMs. True when it was signalled (rendered, or the pool ended);
  // false after a time-out, the request then withdrawn.
  bool RequestRender(const std::shared_ptr<TRenderTicket>& Ticket);

  // For tests and diagnostics.
  size_t WorkerCount();
  size_t BusyWorkers();  // workers serving a request
  size_t QueuedCount();
  size_t LiveWorkers();

  // The state the workers share; it outlives the pool while they end.
  struct TState;

private:
  std::shared_ptr<TState> state_;
};

// The module's pool, created on the first call (safe from any thread: one
// pool results however many painters ask at once).
TRenderer& RenderPool();
// The pool if it exists, else nullptr.
TRenderer* RenderPoolIfCreated();
// Shut-down: frees the pool if it was created.
void FreeRenderPool();

}  // namespace gif
