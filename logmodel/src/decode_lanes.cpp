#include "decode_lanes.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace korv {

int DecodeLaneCount() {
  if (const char* value = std::getenv("KORV_DECODE_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (end != value && *end == '\0' && n >= 1) return n > kMaxDecodeLanes ? kMaxDecodeLanes : int(n);
  }
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores == 0) return 1;
  return cores > unsigned(kMaxDecodeLanes) ? kMaxDecodeLanes : int(cores);
}

std::size_t OrderedPassSlots(int lanes) { return lanes <= 1 ? 1 : std::size_t(lanes) * 2 + 2; }

namespace {

void RunOnCaller(std::size_t blocks, const OrderedPass& pass) {
  for (std::size_t k = 0; k < blocks; ++k) {
    const bool more = pass.read(0, k, 0);
    pass.work(0, k, 0);
    if (!pass.consume(k, 0) || !more) return;
  }
}

// The state the lanes and the calling thread share during one pass.
class PassState {
 public:
  PassState(std::size_t blocks, std::size_t slots) : m_end(blocks), m_slots(slots), m_ready(slots, 0) {}

  // One lane: claims and reads the next block (in order, under the read lock), then works it.
  void Lane(int lane, const OrderedPass& pass) {
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
        m_changed.wait(lock, [&] { return m_ready[slot] != 0 || k >= m_end; });
        if (k >= m_end) return;
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
};

}  // namespace

void RunOrderedPass(int lanes, std::size_t blocks, const OrderedPass& pass) {
  if (blocks == 0) return;
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
  state.Consume(pass);
  state.Stop();
}

}  // namespace korv
