#pragma once
// Manual- and auto-reset events and waits over several of them, for the worker
// threads and the module's event objects.
//
// A manual-reset event stays set until reset(); every waiter that sees it set
// returns. An auto-reset event is consumed by the one wait that returns
// because of it. wait_all() consumes all auto-reset events of its set in one
// step, never some of them.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace korv::platform {

enum class EventReset { manual, automatic };

using WaitTimeout = std::optional<std::chrono::milliseconds>;  // nullopt waits forever

class Event {
 public:
  explicit Event(EventReset reset, bool initially_set = false);
  // No thread may still be waiting on the event when it is destroyed.
  ~Event();
  // Waiters hold pointers to an event while they wait: it must stay in place.
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  // Looks without consuming.
  bool is_set() const;
  // True when the event was set within the timeout.
  bool wait(WaitTimeout timeout = std::nullopt);

 private:
  friend struct EventAccess;

  const bool manual_;
  bool signalled_;                                // guarded by the process-wide event mutex
  std::vector<std::condition_variable*> waiters_;  // guarded by the process-wide event mutex
};

inline constexpr std::size_t kWaitTimedOut = static_cast<std::size_t>(-1);

// Index of the first event of the set that is set (consumed if auto-reset),
// or kWaitTimedOut. An empty set times out at once.
std::size_t wait_any(std::span<Event* const> events, WaitTimeout timeout = std::nullopt);
// True when all events were set at one moment within the timeout.
bool wait_all(std::span<Event* const> events, WaitTimeout timeout = std::nullopt);

}  // namespace korv::platform
