#include "platform/event.h"

#include <algorithm>
#include <mutex>

namespace korv::platform {
namespace {

// One mutex guards the state of every event, so that a wait over several
// events tests and consumes them as one step. Events are few and the critical
// sections are a handful of instructions long.
std::mutex& event_mutex() {
  static std::mutex mutex;
  return mutex;
}

using Clock = std::chrono::steady_clock;

}  // namespace

struct EventAccess {
  static void consume(Event& e) {
    if (!e.manual_) e.signalled_ = false;
  }
  static bool signalled(const Event& e) { return e.signalled_; }
  static void add_waiter(Event& e, std::condition_variable* cv) { e.waiters_.push_back(cv); }
  static void remove_waiter(Event& e, std::condition_variable* cv) {
    auto& w = e.waiters_;
    w.erase(std::find(w.begin(), w.end(), cv));
  }
};

namespace {

// Waits until ready() holds under the event mutex, registered on every event
// of the set in the meantime. Returns false on timeout.
template <typename Ready>
bool wait_on(std::span<Event* const> events, WaitTimeout timeout, Ready ready) {
  std::unique_lock lock(event_mutex());
  if (ready()) return true;
  if (timeout && timeout->count() <= 0) return false;
  std::condition_variable cv;
  for (Event* e : events) EventAccess::add_waiter(*e, &cv);
  bool ok;
  if (timeout) {
    ok = cv.wait_until(lock, Clock::now() + *timeout, ready);
  } else {
    cv.wait(lock, ready);
    ok = true;
  }
  for (Event* e : events) EventAccess::remove_waiter(*e, &cv);
  return ok;
}

}  // namespace

Event::Event(EventReset reset, bool initially_set)
    : manual_(reset == EventReset::manual), signalled_(initially_set) {}

Event::~Event() = default;

void Event::set() {
  std::lock_guard lock(event_mutex());
  signalled_ = true;
  for (std::condition_variable* cv : waiters_) cv->notify_one();
}

void Event::reset() {
  std::lock_guard lock(event_mutex());
  signalled_ = false;
}

bool Event::is_set() const {
  std::lock_guard lock(event_mutex());
  return signalled_;
}

bool Event::wait(WaitTimeout timeout) {
  Event* self = this;
  return wait_any(std::span<Event* const>(&self, 1), timeout) == 0;
}

std::size_t wait_any(std::span<Event* const> events, WaitTimeout timeout) {
  std::size_t found = kWaitTimedOut;
  auto ready = [&] {
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (EventAccess::signalled(*events[i])) {
        EventAccess::consume(*events[i]);
        found = i;
        return true;
      }
    }
    return false;
  };
  if (events.empty()) return kWaitTimedOut;
  return wait_on(events, timeout, ready) ? found : kWaitTimedOut;
}

bool wait_all(std::span<Event* const> events, WaitTimeout timeout) {
  auto ready = [&] {
    const bool all = std::all_of(events.begin(), events.end(),
                                 [](const Event* e) { return EventAccess::signalled(*e); });
    if (all)
      for (Event* e : events) EventAccess::consume(*e);
    return all;
  };
  return wait_on(events, timeout, ready);
}

}  // namespace korv::platform
