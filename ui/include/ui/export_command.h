#pragma once
// The window's Export... command: asks for a target in a save dialog, writes
// the visible rows as XML, text, JSON Lines or CSV, or copies the log file, and reports any
// failure in a message box. The format is the typed name's extension when it
// is one of the formats', else the save dialog's selected filter (whose
// extension the name then gets). While it runs the log carries the export mark,
// so the updater holds its results back and the visible rows stay put.

#include <QString>
#include <QStringList>

#include "logmodel/export_writer.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CLog;
class QWidget;

namespace korv {

enum class ExportFormat : int {
    kXml = 1,       // "XML file (*.xml)": UTF-8 XML of the visible rows
    kText = 2,      // "Text file (*.txt)": one line per visible row, locale charset
    kDataFile = 3,  // "Data file (*.dat)": a byte copy of the log file
    kJsonLines = 4, // "JSON Lines (*.jsonl)": one UTF-8 JSON object per visible row
    kCsv = 5,       // "CSV (*.csv)": RFC 4180, UTF-8, a header line
};

// The save dialog's filters, in order, from the export filter string.
QStringList ExportNameFilters();
// The format of a selected filter text; nullopt for a text that is none of them.
std::optional<ExportFormat> ExportFormatFromFilter(const QString& selectedFilter);

struct ExportChoice {
    QString path;
    ExportFormat format = ExportFormat::kXml;
};

// The target for a name chosen with `selected` as the selected filter: a name
// ending in .xml, .txt, .dat, .jsonl or .csv (any case) is written in that
// format; any other name gets the selected format's extension appended.
ExportChoice ExportChoiceForName(const QString& path, ExportFormat selected);

// The save dialog (default extension "xml", overwrite prompt, also for a name
// that got its extension afterwards); nullopt on Cancel.
std::optional<ExportChoice> AskExportTarget(QWidget* parent);

// Pane 0 of the status bar: "Exporting 12.5%" while running, "Done" at the end.
using StatusPaneFn = std::function<void(const QString&)>;

// Everything an export reads from the opened log, so that the command can be
// run over a test source as well as over a CLog.
struct ExportSource {
    ExportRows* rows = nullptr;           // visible rows in list order
    std::vector<std::u16string> names;    // column titles, in column order
    bool timeColumn = false;              // column 0 is the record time (view mode 1)
    std::string logPath;                  // the log's own file (the copy's source)
    std::string logKey;                   // the kind's settings key (JSON Lines "log")
    std::function<void(bool)> setMark;    // sets / clears the export mark; may be empty
};

// Runs one export to `target` and returns a result code of export_writer.h.
// The mark is set for the whole run and cleared on every path out.
int RunExport(const ExportSource& source, ExportFormat format, const std::string& target,
              const StatusPaneFn& pane0);

// The message-box text for a failed result; empty for kExportOk.
QString ExportFailureText(int result);

// ExportLog without the save dialog and message box, over a CLog. With
// `positions`, only the visible rows at those positions go out, in that order.
int ExportLogTo(CLog& log, ExportFormat format, const std::string& target,
                const StatusPaneFn& pane0, const std::vector<int>* positions = nullptr);

}  // namespace korv

// The Export... command: save dialog, export, a message box for a failure or
// for the opened log's own file as target. Does nothing without a log.
// `running`, when given, is told true before the rows are read and false
// once the file is written, around the export alone. With `positions` only
// the rows at the positions it answers go out, asked once the target is
// chosen and `running` told (rows may arrive while the dialog is open); a
// data file, a copy of every record, is then refused.
void ExportLog(QWidget* parent, CLog* log, const korv::StatusPaneFn& pane0,
               const std::function<void(bool)>& running = {},
               const std::function<std::vector<int>()>& positions = {});
