#include "gif/render/RenderPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "gif/picture/Settings.h"
#include "platform/threads/Thread.h"

namespace gif {
namespace {

// Pool settings for one test, restored afterwards.
struct TPoolSettings {
  int32_t limit = RenderThreadLimit, wait = RenderWaitMs, idle = RenderIdleMs;
  TPoolSettings(int32_t Limit, int32_t Wait, int32_t Idle) {
    RenderThreadLimit = Limit;
    RenderWaitMs = Wait;
    RenderIdleMs = Idle;
  }
  ~TPoolSettings() {
    RenderThreadLimit = limit;
    RenderWaitMs = wait;
    RenderIdleMs = idle;
  }
};

// A painter thread asking the pool once.
struct TRequester {
  std::atomic<int>& rendered;
  std::shared_ptr<TRenderTicket> ticket =
      std::make_shared<TRenderTicket>([this] { rendered.fetch_add(1); });
  std::atomic<int> result{-1};  // -1 still waiting, 0 timed out, 1 signalled
  std::thread thread;

  TRequester(TRenderer& pool, std::atomic<int>& counter) : rendered(counter) {
    thread = std::thread([this, &pool] { result = pool.RequestRender(ticket) ? 1 : 0; });
  }
  ~TRequester() {
    if (thread.joinable()) thread.join();
  }
};

// Serves synchronised calls until Done holds (bounded, so a fault fails
// instead of hanging).
void ServeUntil(const std::function<bool()>& Done) {
  bool done = false;
  for (int i = 0; i < 200000 && !(done = Done()); ++i) {
    platform::CheckSynchronize();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  ASSERT_TRUE(done);
}

void WaitUntil(const std::function<bool()>& Done) {
  bool done = false;
  for (int i = 0; i < 200000 && !(done = Done()); ++i) std::this_thread::sleep_for(std::chrono::microseconds(50));
  ASSERT_TRUE(done);
}

// Busy workers (blocked until the main thread serves them) add up to the
// limit; a free worker at the front is reused.
TEST(RenderPool, BusyWorkersGrowToTheLimitThenIdleOnesAreReused) {
  for (int32_t limit : {4, 1}) {
    SCOPED_TRACE(limit);
    TPoolSettings settings(limit, 60000, 60000);
    std::atomic<int> rendered{0};
    {
      TRenderer pool;
      std::vector<std::unique_ptr<TRequester>> requests;
      for (int i = 0; i < 6; ++i) {
        requests.push_back(std::make_unique<TRequester>(pool, rendered));
        // Until a worker has taken it, or every allowed worker is busy.
        WaitUntil([&] {
          return pool.BusyWorkers() == static_cast<size_t>(std::min(i + 1, limit)) &&
                 pool.QueuedCount() == static_cast<size_t>(std::max(0, i + 1 - limit));
        });
        EXPECT_EQ(pool.WorkerCount(), static_cast<size_t>(std::min(i + 1, limit)));
      }
      ServeUntil([&] {
        for (auto& r : requests)
          if (r->result < 0) return false;
        return true;
      });
      for (auto& r : requests) EXPECT_EQ(r->result, 1);
      EXPECT_EQ(rendered, 6);
      requests.clear();

      TRequester again(pool, rendered);
      ServeUntil([&] { return again.result >= 0; });
      EXPECT_EQ(again.result, 1);
      EXPECT_EQ(pool.WorkerCount(), static_cast<size_t>(limit));
    }
  }
}

TEST(RenderPool, ATimedOutRequestIsWithdrawnAndItsTicketStaysUsable) {
  TPoolSettings settings(1, 300, 60000);
  std::atomic<int> rendered{0};
  TRenderer pool;
  // Nobody serves the main thread yet: the only worker stays busy and both
  // requests time out, the second still queued.
  TRequester busy(pool, rendered);
  WaitUntil([&] { return pool.BusyWorkers() == 1; });
  {
    TRequester late(pool, rendered);
    WaitUntil([&] { return late.result >= 0; });
    EXPECT_EQ(late.result, 0);
    EXPECT_EQ(pool.QueuedCount(), 0u);
  }
  WaitUntil([&] { return busy.result >= 0; });
  EXPECT_EQ(busy.result, 0);
  // The worker still finishes the first request and signals its ticket.
  ServeUntil([&] { return busy.ticket->WakeEvent.IsSet(); });
  EXPECT_EQ(rendered, 1);
}

TEST(RenderPool, AClosedTicketRendersNothingButIsStillSignalled) {
  TPoolSettings settings(4, 60000, 60000);
  std::atomic<int> rendered{0};
  TRenderer pool;
  TRequester request(pool, rendered);
  WaitUntil([&] { return pool.BusyWorkers() == 1; });
  request.ticket->Close();
  ServeUntil([&] { return request.result >= 0; });
  EXPECT_EQ(request.result, 1);
  EXPECT_EQ(rendered, 0);
}

TEST(RenderPool, DestroyingThePoolEndsAWaitingPainterAndEveryWorker) {
  TPoolSettings settings(1, 600000, 600000);
  std::atomic<int> rendered{0};
  auto pool = std::make_unique<TRenderer>();
  TRequester busy(*pool, rendered);
  WaitUntil([&] { return pool->BusyWorkers() == 1; });
  TRequester queued(*pool, rendered);
  WaitUntil([&] { return pool->QueuedCount() == 1; });
  pool.reset();  // serves the busy worker's call while it waits for it
  WaitUntil([&] { return busy.result >= 0 && queued.result >= 0; });
  EXPECT_EQ(busy.result, 1);
  EXPECT_EQ(queued.result, 1);
}

// A worker stopped before its thread ran still counts as ended.
TEST(RenderPool, APoolDestroyedRightAfterItsFirstRequestEnds) {
  TPoolSettings settings(4, 0, 60000);
  std::atomic<int> rendered{0};
  for (int i = 0; i < 50; ++i) {
    auto pool = std::make_unique<TRenderer>();
    std::thread([&] { pool->RequestRender(std::make_shared<TRenderTicket>([&] { ++rendered; })); }).join();
    pool.reset();
  }
}

TEST(RenderPool, AnIdleWorkerEndsAndTheNextRequestStartsAnother) {
  TPoolSettings settings(4, 60000, 20);
  std::atomic<int> rendered{0};
  TRenderer pool;
  {
    TRequester first(pool, rendered);
    ServeUntil([&] { return first.result >= 0; });
  }
  WaitUntil([&] { return pool.WorkerCount() == 0 && pool.LiveWorkers() == 0; });
  TRequester second(pool, rendered);
  ServeUntil([&] { return second.result >= 0; });
  EXPECT_EQ(second.result, 1);
  EXPECT_EQ(rendered, 2);
}

TEST(RenderPool, TheModulePoolIsCreatedOnceWhoeverAsksFirst) {
  std::vector<TRenderer*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = &RenderPool(); });
  for (auto& t : threads) t.join();
  for (TRenderer* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_EQ(RenderPoolIfCreated(), seen[0]);
  FreeRenderPool();
  EXPECT_EQ(RenderPoolIfCreated(), nullptr);
}

}  // namespace
}  // namespace gif
