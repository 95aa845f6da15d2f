// Appends generated records of one kind; shared by append and demo.
#pragma once

#include <cstdint>
#include <string>

#include "standin/log_kinds.h"
#include "standin/logfile.h"

namespace korv::standin {

struct GenerateOptions {
  uint64_t count = 0;
  uint64_t seed = 0;
  bool seed_given = false;  // else the seed follows from the log's record count
  uint64_t deleted_every = 0;  // 0: none deleted
  double rate = 0;             // records a second; 0: as fast as possible
  uint64_t end_time = 0;       // FILETIME of the last record when not paced; 0: now
};

// Appends to an open log. A scan log that is still empty gets its summary
// record first (counted in count). Paced appends flush each record so that a
// follower sees it at once.
platform::FileError append_generated(LogFileWriter& w, const StandinLogKind& kind, const GenerateOptions& opt);

}  // namespace korv::standin
