#pragma once
// Which rows korvlog follow has printed, by record number and row index rather than by
// position: after a rewrite (records deleted, a log compacted, a gap repaired) a reload
// brings every row again, and only those not printed before are new. A record number may
// occur more than once in a file; each occurrence is counted.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "logmodel/rec_info.h"

struct DiskLogFile;

namespace korv::cli {

class PrintedRows {
 public:
  using Key = std::uint64_t;  // record number << 32 | row index

  // A new file: nothing of it printed.
  void Reset();
  // The first rows were handed over.
  bool Started() const { return m_bStarted; }
  // A hand-over of rows begins; `replaced` when the rows were reloaded from the start.
  void BeginPass(bool replaced);
  // The first visible entry to look at: those of rows not looked at before.
  int FirstEntry(const std::vector<std::int32_t>& visible) const;
  // The row's key, from the record number in the file's index; none when the index no
  // longer holds the row's record.
  std::optional<Key> KeyOf(DiskLogFile* file, const REC_INFO_BASE& row) const;
  // Counts this occurrence of key; true when it was not printed before.
  bool ShouldPrint(Key key);
  // The occurrence just counted was printed.
  void Mark(Key key);
  // The hand-over ended with rowCount rows in the log.
  void EndPass(std::size_t rowCount);

 private:
  bool m_bStarted = false;
  std::size_t m_nRowsSeen = 0;                  // rows of the log already looked at
  std::unordered_map<Key, std::uint32_t> m_seen;     // occurrences in the current load
  std::unordered_map<Key, std::uint32_t> m_printed;  // occurrences printed, ever
};

}  // namespace korv::cli
