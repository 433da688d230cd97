#include "platform/rtl/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {

TSystemClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

std::atomic<TClock*> current{nullptr};

}  // namespace

TClock& Clock() {
  TClock* clock = current.load(std::memory_order_acquire);
  return clock ? *clock : SystemClock();
}

void SetClock(TClock* clock) { current.store(clock, std::memory_order_release); }

uint32_t timeGetTime() { return Clock().Milliseconds(); }

void Sleep(uint32_t ms) { Clock().Sleep(ms); }

uint32_t TSystemClock::Milliseconds() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  // Truncation to 32 bits gives the wrap-around of timeGetTime.
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void TSystemClock::Sleep(uint32_t ms) {
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t TTestClock::Milliseconds() {
  std::lock_guard guard(lock_);
  return now_;
}

void TTestClock::Sleep(uint32_t ms) {
  std::lock_guard guard(lock_);
  now_ += ms;
  events_.push_back({TEventKind::Sleep, ms});
}

bool TTestClock::ElapseWait(uint32_t ms) {
  std::lock_guard guard(lock_);
  now_ += ms;
  events_.push_back({TEventKind::Wait, ms});
  return true;
}

void TTestClock::Advance(uint32_t ms) {
  std::lock_guard guard(lock_);
  now_ += ms;
}

std::vector<TTestClock::TEvent> TTestClock::Events() const {
  std::lock_guard guard(lock_);
  return events_;
}

std::vector<uint32_t> TTestClock::Filter(TEventKind kind) const {
  std::lock_guard guard(lock_);
  std::vector<uint32_t> result;
  for (const TEvent& event : events_)
    if (event.Kind == kind) result.push_back(event.Ms);
  return result;
}

std::vector<uint32_t> TTestClock::Sleeps() const { return Filter(TEventKind::Sleep); }

std::vector<uint32_t> TTestClock::Waits() const { return Filter(TEventKind::Wait); }

void TTestClock::ClearEvents() {
  std::lock_guard guard(lock_);
  events_.clear();
}

}  // namespace platform
