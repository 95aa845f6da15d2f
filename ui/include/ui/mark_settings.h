#pragma once
// Where the marks of each log file are kept between runs: in
// QSettings("KORV", "KORV Log Viewer") under "Marks/<id>", where <id> is
// drawn from the file's absolute path:
//   "Path"  the file's absolute path (a hash that collides reads as no marks)
//   "Keys"  the marks as FormatMarks writes them
//   "Used"  when they were last written, milliseconds since 1970
//   "Created" the log's creation time (its file header's), as a number: a log
//           deleted and made again at the same path has another, and its
//           records' indices and auxiliary values say nothing of the old ones
// Only the kMaxMarkedFiles files written most recently keep their marks.

#include <QSettings>
#include <QString>

#include <cstdint>
#include <vector>

#include "ui/row_marks.h"

namespace korv {

inline constexpr int kMaxMarkedFiles = 64;

// The stored marks of the file at `path` whose log was created at `created`
// (0: not known); none when there are none, they belong to another path, or
// they were stored for a log created at another time (that entry goes).
std::vector<RowKey> ReadStoredMarks(QSettings& settings, const QString& path, std::uint64_t created = 0);
// Stores `marks` for `path` and the log's creation time: no marks remove its
// entry. Then the entries beyond the kMaxMarkedFiles most recently written go.
void WriteStoredMarks(QSettings& settings, const QString& path, const RowMarks& marks, std::uint64_t created = 0);

}  // namespace korv
