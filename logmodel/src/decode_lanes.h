#pragma once
// Decoding lanes: a pass over many records split into consecutive blocks that several
// threads read, decode and match at once, handed back to the calling thread in block order.

#include <cstddef>
#include <functional>
#include <string>

namespace korv {

// The most lanes a pass uses, whatever the machine or the setting says.
inline constexpr int kMaxDecodeLanes = 8;

// Records (or rows) below which a pass runs on one lane: starting and feeding lanes costs
// more than they save on a pass this short.
inline constexpr std::size_t kLanePassMinimum = 16384;

// Lanes for a pass over `items` records or rows: KORV_DECODE_THREADS when it holds a number
// 1..8 (a larger number gives 8), whatever the pass; else one for a pass shorter than
// kLanePassMinimum, and the cores this process may run on (at most 8) for a longer one.
// 1 runs the pass on the calling thread alone, for a module that does not bear concurrent
// requests.
int DecodeLaneCount(std::size_t items);
// The same for a long pass.
int DecodeLaneCount();

// The three steps of an ordered pass over blocks 0 .. blocks - 1. A block is handed a slot
// 0 .. SlotCount(lanes) - 1 that is its own from its read until its consume has returned.
struct OrderedPass {
  // Reads block `block` into `slot` with lane `lane`'s buffers. Blocks are read one at a
  // time in block order, so that a file is read front to back (or back to front). False
  // ends the pass after this block: no later block is read.
  std::function<bool(int lane, std::size_t block, std::size_t slot)> read;
  // Decodes and matches what was read; lanes run this step at the same time.
  std::function<void(int lane, std::size_t block, std::size_t slot)> work;
  // Takes the block's results, on the calling thread and in block order. False stops the
  // pass: no further block is consumed.
  std::function<bool(std::size_t block, std::size_t slot)> consume;
};

// Slots a pass with `lanes` lanes uses: enough for every lane to work while the calling
// thread consumes, few enough to bound the memory.
std::size_t OrderedPassSlots(int lanes);

// How a pass ended: whole (or stopped by its own steps), or cut short by a step that threw.
struct PassResult {
  bool whole = true;
  std::string failure;  // what the throw said, when not whole
};

// Runs `pass` over `blocks` blocks. With one lane (or when no thread can be started) every
// step runs on the calling thread, block after block. Otherwise lanes - 1 .. lanes threads
// read and work while the calling thread consumes; they are joined before this returns.
// A step that throws, on a lane or on the calling thread, ends the pass: no later block is
// consumed, the lanes are joined, and the result says what failed. Nothing is thrown.
PassResult RunOrderedPass(int lanes, std::size_t blocks, const OrderedPass& pass);

}  // namespace korv
