#include "decode_lanes.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <sched.h>

namespace korv {

namespace {

// The cores the scheduler lets this process use (a container or taskset may allow fewer than
// the machine has).
int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : int(std::min(cores, 1024u));
}

}  // namespace

int DecodeLaneCount(std::size_t items) {
  if (const char* value = std::getenv("KORV_DECODE_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && n >= 1) return n > kMaxDecodeLanes ? kMaxDecodeLanes : int(n);
  }
  if (items < kLanePassMinimum) return 1;
  return std::min(UsableCores(), kMaxDecodeLanes);
}

int DecodeLaneCount() { return DecodeLaneCount(SIZE_MAX); }

std::size_t OrderedPassSlots(int lanes) { return lanes <= 1 ? 1 : std::size_t(lanes) * 2 + 2; }

namespace {

// What the exception being handled says; called only inside a catch block. Nothing escapes:
// a lane's thread must not unwind (the fallback text is short enough to need no allocation).
std::string WhatWasThrown() noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    try {
      return e.what();
    } catch (...) {
    }
  } catch (...) {
  }
  return "unknown failure";
}

PassResult RunOnCaller(std::size_t blocks, const OrderedPass& pass) {
  try {
    for (std::size_t k = 0; k < blocks; ++k) {
      const bool more = pass.read(0, k, 0);
      pass.work(0, k, 0);
      if (!pass.consume(k, 0) || !more) break;
    }
  } catch (...) {
    return {false, WhatWasThrown()};
  }
  return {};
}

// The state the lanes and the calling thread share during one pass.
class PassState {
 public:
  PassState(std::size_t blocks, std::size_t slots) : m_end(blocks), m_slots(slots), m_ready(slots, 0) {}

  // One lane: claims and reads the next block (in order, under the read lock), then works it.
  // A step that throws ends the pass: nothing may unwind out of a thread.
  void Lane(int lane, const OrderedPass& pass) {
    try {
      LaneSteps(lane, pass);
    } catch (...) {
      Fail(WhatWasThrown());
    }
  }

  void LaneSteps(int lane, const OrderedPass& pass) {
    for (;;) {
      std::size_t k, slot;
      {
        std::lock_guard<std::mutex> reading(m_readLock);
        {
          std::unique_lock<std::mutex> lock(m_lock);
          m_changed.wait(lock, [&] { return m_stop || m_next >= m_end || m_next < m_consumed + m_slots; });
          if (m_stop || m_next >= m_end) return;
          k = m_next++;
          slot = k % m_slots;
        }
        if (!pass.read(lane, k, slot)) {
          std::lock_guard<std::mutex> lock(m_lock);
          if (m_end > k + 1) m_end = k + 1;  // nothing after this block is read or consumed
        }
      }
      pass.work(lane, k, slot);
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_ready[slot] = 1;
      }
      m_changed.notify_all();
    }
  }

  // The calling thread: each block's results in block order, as soon as they are ready.
  void Consume(const OrderedPass& pass) {
    for (std::size_t k = 0;; ++k) {
      const std::size_t slot = k % m_slots;
      {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [&] { return m_ready[slot] != 0 || k >= m_end || m_failed; });
        if (m_failed || k >= m_end) return;
      }
      const bool more = pass.consume(k, slot);
      {
        std::lock_guard<std::mutex> lock(m_lock);
        m_ready[slot] = 0;
        m_consumed = k + 1;
        if (!more) m_stop = true;
      }
      m_changed.notify_all();
      if (!more) return;
    }
  }

  // Ends the lanes' claiming (the calling thread leaves early or is done).
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      m_stop = true;
    }
    m_changed.notify_all();
  }

  // A step threw: no block is claimed or consumed after this; the first failure is kept.
  void Fail(std::string what) noexcept {
    {
      std::lock_guard<std::mutex> lock(m_lock);
      if (!m_failed) {
        m_failed = true;
        m_failure = std::move(what);
      }
      m_stop = true;
    }
    m_changed.notify_all();
  }

  PassResult Result() {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_failed) return {};
    return {false, m_failure};
  }

 private:
  std::mutex m_readLock;  // held by the one lane reading a block: blocks are read in order
  std::mutex m_lock;      // guards every member below
  std::condition_variable m_changed;
  std::size_t m_end;           // blocks that exist: lowered when a read ends the pass
  const std::size_t m_slots;
  std::vector<char> m_ready;   // per slot: its block has been worked and awaits consume
  std::size_t m_next = 0;      // next block to claim
  std::size_t m_consumed = 0;  // blocks consumed so far
  bool m_stop = false;
  bool m_failed = false;       // a step threw
  std::string m_failure;       // what the first failure said
};

}  // namespace

PassResult RunOrderedPass(int lanes, std::size_t blocks, const OrderedPass& pass) {
  if (blocks == 0) return {};
  if (lanes <= 1) return RunOnCaller(blocks, pass);
  PassState state(blocks, OrderedPassSlots(lanes));
  std::vector<std::jthread> threads;  // joined when this returns, after Stop
  threads.reserve(std::size_t(lanes));
  for (int lane = 0; lane < lanes; ++lane) {
    try {
      threads.emplace_back([&state, &pass, lane] { state.Lane(lane, pass); });
    } catch (const std::system_error&) {
      break;  // fewer lanes; the pass is still whole
    }
  }
  if (threads.empty()) return RunOnCaller(blocks, pass);
  try {
    state.Consume(pass);
  } catch (...) {
    state.Fail(WhatWasThrown());
  }
  // Whatever happened, the lanes stop claiming before they are joined.
  state.Stop();
  threads.clear();
  return state.Result();
}

}  // namespace korv
