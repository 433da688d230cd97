#pragma once
// Time goes through one replaceable clock so that timing code (frame delays,
// timed waits) can be tested without real waits.

#include <cstdint>
#include <mutex>
#include <vector>

namespace platform {

class TClock {
public:
  virtual ~TClock() = default;
  // Monotonic milliseconds; wraps at 2^32 like timeGetTime.
  virtual uint32_t Milliseconds() = 0;
  virtual void Sleep(uint32_t ms) = 0;
  // A timed wait that was not satisfied at once: a real clock returns false
  // (the caller blocks for real); a test clock advances its time by ms and
  // returns true (the wait times out at once).
  virtual bool ElapseWait(uint32_t ms) {
    (void)ms;
    return false;
  }
};

// The clock in use; the system clock unless a test set another.
TClock& Clock();
// nullptr restores the system clock. The caller keeps ownership.
void SetClock(TClock* clock);

uint32_t timeGetTime();
void Sleep(uint32_t ms);

class TSystemClock : public TClock {
public:
  uint32_t Milliseconds() override;
  void Sleep(uint32_t ms) override;
};

// Time stands still until advanced; sleeps and timed waits pass at once and
// are recorded in order.
class TTestClock : public TClock {
public:
  enum class TEventKind { Sleep, Wait };
  struct TEvent {
    TEventKind Kind;
    uint32_t Ms;
    bool operator==(const TEvent&) const = default;
  };

  explicit TTestClock(uint32_t start = 0) : now_(start) {}

  uint32_t Milliseconds() override;
  void Sleep(uint32_t ms) override;
  bool ElapseWait(uint32_t ms) override;

  void Advance(uint32_t ms);
  std::vector<TEvent> Events() const;
  std::vector<uint32_t> Sleeps() const;  // only the sleeps, in order
  std::vector<uint32_t> Waits() const;   // only the timed waits, in order
  void ClearEvents();

private:
  std::vector<uint32_t> Filter(TEventKind kind) const;

  mutable std::mutex lock_;
  uint32_t now_;
  std::vector<TEvent> events_;
};

}  // namespace platform
