#pragma once
// Pieces of CLog shared by its source files.

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "logmodel/decoded_record.h"
#include "logmodel/log.h"
#include "row_texts.h"

// One record as read from the file: the header values the rows take and the payload, which
// points into the buffer it was read into.
struct CLog::RecordRead {
  std::uint32_t type = 0;
  korv::platform::FileTime time = 0;
  std::uint32_t aux = 0;
  bool deleted = false;
  bool damaged = false;  // the payload offset does not fit the record: no payload
  std::span<const std::uint8_t> payload;
};

// Working buffers of one load call, so that a load shares nothing with the other paths.
struct CLog::LoadScratch {
  std::vector<std::uint8_t> record;  // the record as read
  std::vector<std::uint8_t> block;   // its decoded record
  std::vector<std::u16string> texts; // column texts for the text criterion
};

// One decoding lane: a requester of the module like a window's log, with buffers of its own.
struct CLog::Lane {
  std::mutex ownLock;                   // serialises this lane's module requests
  std::mutex* decodingLock = &ownLock;  // the lock its requests take (the log's with one lane)
  LoadScratch scratch;
  korv::BlockRowMatcher matcher;
  std::int32_t decodedKey = -1;  // the record whose decoded block is in scratch.block; -1 none
  korv::HeldInstance module;     // the module while the lane works a block; empty between blocks

  // Holds the module for one block of this lane's work, so that its records' requests take
  // no lock that other lanes take; let go at the block's end, so that a module exchange
  // waits for one block at most.
  class BlockHold {
   public:
    BlockHold(Lane& lane, korv::ComponentHolder* holder) : m_lane(lane) { lane.module = korv::HeldInstance(holder); }
    ~BlockHold() { m_lane.module.Release(); }
    BlockHold(const BlockHold&) = delete;
    BlockHold& operator=(const BlockHold&) = delete;

   private:
    Lane& m_lane;
  };
};

// Records read by a lane, then decoded into rows, waiting to be joined in file order. Reused
// from block to block: clearing keeps the storage.
struct CLog::LaneBlock {
  struct Entry {
    std::int32_t record = 0;
    std::uint32_t type = 0;
    korv::platform::FileTime time = 0;
    std::uint32_t aux = 0;
    bool deleted = false;
    bool damaged = false;       // its payload does not fit it
    bool refused = false;       // the module refused it: a raw row stands for it
    bool lost = false;          // could not be read or decoded, or gave no row
    std::size_t offset = 0;     // payload in `bytes`
    std::size_t size = 0;
    std::size_t rowsEnd = 0;    // its rows end here in `rows`
  };
  std::vector<std::uint8_t> bytes;
  std::vector<Entry> entries;
  std::vector<REC_INFO_BASE> rows;
  std::vector<std::vector<std::u16string>> texts;  // per row of `rows` (export pass only)
  std::vector<std::string> formatted;              // per row: its output bytes (formatted export only)
  std::size_t worked = 0;  // entries whose rows are made
  bool aborted = false;    // the abort flag ended the block
  bool ended = false;      // a record that could not be read ended the block (load)

  void Clear() {
    bytes.clear();
    entries.clear();
    rows.clear();
    worked = 0;
    aborted = ended = false;
  }
  std::span<const std::uint8_t> Payload(const Entry& e) const { return {bytes.data() + e.offset, e.size}; }
};

namespace korv {

// The decoded record's own row flags as a row may carry them. Bits 27-31 are the log's
// (raw, corrupted, deleted, the updater's replace marker, visible): a module that set them
// would make rows count as raw, corrupted or deleted, or make the updater drop rows it has
// pending.
inline std::uint32_t ModuleRowFlags(DecodedBlock block) { return BlockRowFlags(block) & 0x07FFFFFF; }

// Column texts of row `row` of a decoded block as the list shows them: in view mode 1 the
// record time first, then the cells; `columns` texts in all, missing cells empty.
void MakeRowTexts(std::span<const std::uint8_t> block, std::uint32_t row, int viewMode,
                  std::size_t columns, platform::FileTime time, std::vector<std::u16string>& out);

}  // namespace korv
