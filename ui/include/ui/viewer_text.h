#pragma once
// Texts and small decisions of the viewer window that need no window: the
// record suffix of a start-up path, the window title, the progress pane and
// the Language menu's list. Kept apart so that they can be tested directly.

#include <QString>

#include "logmodel/log_type.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korv {

struct RecordPath {
    std::string path;     // the file or directory to open
    int record = -1;      // record to show alone, or -1 for the whole log
};

// Splits "FILE:N" into FILE and record N. The text after the last ':' must
// be, after leading blanks, decimal digits only (none counts as 0). A path
// that names an existing file as a whole is taken as it is, since ':' is an
// ordinary file-name character here. A number too large for int is no
// record number: the path stays whole.
RecordPath SplitRecordSuffix(const std::string& path, const std::function<bool(const std::string&)>& exists);

// The window title: string 131 when both inserts are empty, else string 130
// with them; "{VERSION}" replaced in either.
QString MakeWindowTitle(const QString& name, const QString& detail);

// Pane 0: "Updating %.01f%%" with the progress while busy, else "Done".
QString ProgressPaneText(bool busy, double progress);
// Pane 0 while a find runs: "Searching… 37%" with the percentage of the rows examined.
QString SearchingPaneText(int percent);

struct LanguageEntry {
    std::uint16_t id = 0;
    std::u16string name;

    bool operator==(const LanguageEntry&) const = default;
};

// The Language menu's entries for the module's identifiers: English language
// names sorted by UTF-16 code units, equal names told apart by appending
// " (country)" to each of them, then sorted again. An identifier without a
// known name is listed by its number, so that no menu item is blank.
std::vector<LanguageEntry> BuildLanguageList(const std::vector<std::uint16_t>& ids);

struct LogsMenuItem {
    int index = 0;  // position in the log-type table; the command is 32850 + index
    QString text;

    bool operator==(const LogsMenuItem&) const = default;
};

// The Logs menu: the offered entries of `table` (at most `limit`), in table
// order, by display name. An entry whose name an earlier item already shows
// (a directory of scans and a single scan log of one kind) gets its file
// name in parentheses, as the title bar shows it, so that no two items read
// the same.
std::vector<LogsMenuItem> BuildLogsMenuItems(const LogTable& table, int limit);

}  // namespace korv
