#pragma once
// Where the marks of each log file are kept between runs: in
// QSettings("KORV", "KORV Log Viewer") under "Marks/<id>", where <id> is
// drawn from the file's absolute path:
//   "Path"  the file's absolute path (a hash that collides reads as no marks)
//   "Keys"  the marks as FormatMarks writes them
//   "Used"  when they were last written, milliseconds since 1970
// Only the kMaxMarkedFiles files written most recently keep their marks.

#include <QSettings>
#include <QString>

#include <vector>

#include "ui/row_marks.h"

namespace korv {

inline constexpr int kMaxMarkedFiles = 64;

// The stored marks of the file at `path`; none when there are none or they
// belong to another path.
std::vector<RowKey> ReadStoredMarks(QSettings& settings, const QString& path);
// Stores `marks` for `path`: no marks remove its entry. Then the entries
// beyond the kMaxMarkedFiles most recently written go.
void WriteStoredMarks(QSettings& settings, const QString& path, const RowMarks& marks);

}  // namespace korv
