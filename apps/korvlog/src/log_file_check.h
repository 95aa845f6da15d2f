#pragma once
// The checks every command makes before it treats a path as a log.

#include <string>

#include "logstore/disklog_format.h"
#include "platform/file.h"

namespace korv::cli {

// Opens path read-only and reads its header. Returns kExitOk, or prints why
// not and returns kExitNotFound (no such path) or kExitNotALog (unreadable,
// a directory, or no header magic: "Not a log file.").
int open_log_file(const std::string& path, platform::File& file, _DISKLOG_HEADER& header);

}  // namespace korv::cli
