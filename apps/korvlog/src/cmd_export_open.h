#pragma once
// Opening a log the way the viewer window does, for the commands that read its rows.

#include <string>

#include "logmodel/log.h"
#include "logmodel/log_type.h"

namespace korv::cli {

inline constexpr int kExitUnknownLog = 4;   // a path that is no file of a known kind
inline constexpr int kExitWriteFailed = 6;  // the output could not be created or written

struct OpenedLog {
  std::string path;          // as opened, without the ":N" suffix
  int entry = -1;            // the log-type table entry
  std::int32_t record = -1;  // the ":N" record, -1 for the whole log
};

// The log-type table without the product service's answer. Recognising a path and opening it
// need only the fixed table; what the service reports decides the viewer's Logs menu, which
// korvlog has not, so korvlog never waits for the service.
const LogTable& KindTable();

// Splits a trailing ":N" (leading blanks, decimal digits, an empty remainder is 0) off `path`.
std::int32_t SplitRecordSuffix(std::string& path);

// A log path as given on the command line: an existing path as it is (made absolute), else a
// bare name below the product's Logs directory. Prints why not (with `report`) and answers
// kExitNotFound on failure.
int ResolveArgumentPath(const std::string& name, std::string& path, bool report);

// Recognises PATH (a log file, a directory of scan logs, FILE:N, or a bare name below the
// product's Logs directory), opens it in view mode 1 or 3 as the window does and loads every
// row, with `filter` applied. Prints why not and answers the exit status on failure.
int OpenAndLoad(const std::string& argument, const CLogFilterData& filter, CLog& log,
                OpenedLog& opened);
// Loads the rows of a log that OpenWithoutRows opened, as OpenAndLoad does.
void LoadOpenedRows(CLog& log, const OpenedLog& opened);
// The same without loading any row (for a caller that loads them in the background); with
// `report` false nothing is printed (a caller that tries again).
// Whether the logs the command opens from now on are shown raw (--raw).
void ShowRecordsRaw(bool raw);

int OpenWithoutRows(const std::string& argument, const CLogFilterData& filter, CLog& log,
                    OpenedLog& opened, bool report = true);

}  // namespace korv::cli
