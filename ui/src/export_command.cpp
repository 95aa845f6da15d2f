#include "ui/export_command.h"

#include "logmodel/line_export_writer.h"
#include "logmodel/log.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/dialog_folders.h"
#include "ui/ui_text.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <iterator>
#include <memory>

namespace korv {

QStringList ExportNameFilters() {
    // "text|pattern|text|pattern|...||": the texts are the filters' names.
    const QStringList parts = Qs(text::kExportFilter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) {
            filters.push_back(parts[i]);
        }
    }
    return filters;
}

std::optional<ExportFormat> ExportFormatFromFilter(const QString& selectedFilter) {
    const QStringList filters = ExportNameFilters();
    const int index = static_cast<int>(filters.indexOf(selectedFilter));
    switch (index) {
        case 0: return ExportFormat::kXml;
        case 1: return ExportFormat::kText;
        case 2: return ExportFormat::kDataFile;
        case 3: return ExportFormat::kJsonLines;
        case 4: return ExportFormat::kCsv;
        default: return std::nullopt;
    }
}

namespace {

// The formats' extensions, in ExportFormat order.
constexpr const char* kExportSuffixes[] = {"xml", "txt", "dat", "jsonl", "csv"};

QString SuffixOf(ExportFormat format) {
    return QString::fromLatin1(kExportSuffixes[static_cast<int>(format) - 1]);
}

}  // namespace

ExportChoice ExportChoiceForName(const QString& path, ExportFormat selected) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) {
        const QString suffix = name.mid(dot + 1).toLower();
        for (int i = 0; i < static_cast<int>(std::size(kExportSuffixes)); ++i) {
            if (suffix == QLatin1String(kExportSuffixes[i])) {
                return ExportChoice{path, static_cast<ExportFormat>(i + 1)};
            }
        }
    }
    // "out." means "out" with the extension still to come.
    const QString stem = path.endsWith(QLatin1Char('.')) ? path.chopped(1) : path;
    return ExportChoice{stem + QLatin1Char('.') + SuffixOf(selected), selected};
}

std::optional<ExportChoice> AskExportTarget(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("exportFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(ExportNameFilters());
    dialog.setDefaultSuffix(Qs(text::kExportDefaultExtension));
    dialog.setDirectory(StartFolder(DialogFolder::kExport));
    // A name typed without an extension gets the selected format's one.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        const auto format = ExportFormatFromFilter(f);
        if (format) {
            dialog.setDefaultSuffix(SuffixOf(*format));
        }
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const auto format = ExportFormatFromFilter(dialog.selectedNameFilter());
    const QString path = dialog.selectedFiles().front();
    if (!format || path.isEmpty()) {
        return std::nullopt;
    }
    const ExportChoice choice = ExportChoiceForName(path, *format);
    // The dialog asked about the name as typed; a name that got its extension here may
    // be another existing file.
    if (choice.path != path && QFileInfo::exists(choice.path) &&
        !dialog.testOption(QFileDialog::DontConfirmOverwrite) &&
        QMessageBox::question(parent, LoadQString(str::kAppName),
                              QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                  .arg(QFileInfo(choice.path).fileName())) != QMessageBox::Yes) {
        return std::nullopt;
    }
    RememberFolder(DialogFolder::kExport, choice.path);
    return choice;
}

namespace {

// Sets a mark for as long as the export reads rows: the log's export mark,
// which holds the updater's results back, or the window's own.
class ExportMark {
public:
    explicit ExportMark(const std::function<void(bool)>& set) : m_set(set) {
        if (m_set) m_set(true);
    }
    ~ExportMark() {
        if (m_set) m_set(false);
    }
    ExportMark(const ExportMark&) = delete;
    ExportMark& operator=(const ExportMark&) = delete;

private:
    const std::function<void(bool)>& m_set;
};

// The visible rows of a CLog in list order, or those at `positions` alone.
class LogExportRows : public ExportRows {
public:
    LogExportRows(CLog& log, const std::vector<int>* positions) : m_log(log), m_positions(positions) {}
    int Count() override {
        return m_positions ? static_cast<int>(m_positions->size()) : m_log.GetVisibleCount();
    }
    bool Cells(int row, std::vector<std::u16string>& cells) override {
        return m_log.GetRowCells(At(row), cells);
    }
    bool Text(int row, std::u16string& line) override { return m_log.GetRowText(At(row), line); }
    bool DateTime(int row, std::u16string& date, std::u16string& time) override {
        return m_log.GetRowDateTime(At(row), date, time);
    }
    bool RowInfo(int row, REC_INFO_BASE& info) override {
        const REC_INFO_BASE* found = m_log.GetRow(At(row));
        if (found) info = *found;
        return found != nullptr;
    }

private:
    int At(int row) const {
        if (!m_positions) return row;
        return row >= 0 && row < static_cast<int>(m_positions->size()) ? (*m_positions)[static_cast<std::size_t>(row)]
                                                                       : -1;
    }
    CLog& m_log;
    const std::vector<int>* m_positions;  // not owned; null for every visible row
};

}  // namespace

int RunExport(const ExportSource& source, ExportFormat format, const std::string& target,
              const StatusPaneFn& pane0) {
    ExportMark mark(source.setMark);
    if (format == ExportFormat::kDataFile) {
        // Every record of the file, filtered, hidden and deleted ones included.
        return CopyDataFile(source.logPath, target);
    }
    if (!source.rows) {
        return kExportCreateFailed;
    }
    std::unique_ptr<ExportSink> sink;
    const int created = CreateExportTarget(target, source.logPath, sink);
    if (created != kExportOk) {
        return created;
    }
    const ExportProgress progress = [&pane0](float percent) {
        if (pane0) pane0(Qs(ExportProgressText(percent)));
    };
    int result;
    switch (format) {
        case ExportFormat::kXml:
            result = WriteXmlExport(*source.rows, source.names, source.timeColumn, *sink, progress);
            break;
        case ExportFormat::kJsonLines:
        case ExportFormat::kCsv:
            result = WriteLineExport(*source.rows,
                                     format == ExportFormat::kCsv ? LineFormat::kCsv : LineFormat::kJsonLines,
                                     source.names, source.logKey, *sink, progress);
            break;
        default: result = WriteTextExport(*source.rows, *sink, progress);
    }
    sink.reset();
    // "Done" is also the pane's idle text; a failure is told by the message box.
    if (pane0) pane0(Qs(text::kDone));
    return result;
}

QString ExportFailureText(int result) {
    switch (result) {
        case kExportOk: return QString();
        case kExportCreateFailed: return QStringLiteral("The export file cannot be created.");
        case kExportWriteFailed:
            return QStringLiteral("The export file cannot be written. It holds only the rows "
                                  "written before the failure.");
        case kExportSameFile:
            return QStringLiteral("The log cannot be exported onto its own file. Choose "
                                  "another file name.");
        case kExportCopyFailed: return QStringLiteral("The log file cannot be copied.");
        default: return QStringLiteral("The export failed.");
    }
}

int ExportLogTo(CLog& log, ExportFormat format, const std::string& target,
                const StatusPaneFn& pane0, const std::vector<int>* positions) {
    LogExportRows rows(log, positions);
    // The rows are read in list order, which for a file log is file order.
    const DiskLogReadAheadScope readAhead(log.GetFile());
    ExportSource source;
    source.rows = &rows;
    for (const HDR_INFO& column : log.GetHeader().m_columns) {
        source.names.push_back(column.name);
    }
    source.timeColumn = log.GetViewMode() == LOG_VIEW_LIST;
    source.logPath = log.GetDisplayPath(false);
    source.logKey = log.GetSettingsKey();
    source.setMark = [&log](bool on) { log.SetExporting(on); };
    return RunExport(source, format, target, pane0);
}

}  // namespace korv

void ExportLog(QWidget* parent, CLog* log, const korv::StatusPaneFn& pane0,
               const std::function<void(bool)>& running,
               const std::function<std::vector<int>()>& positions) {
    using namespace korv;
    if (!log || !log->IsOpen()) {
        return;
    }
    const std::optional<ExportChoice> choice = AskExportTarget(parent);
    if (!choice) {
        return;
    }
    if (positions && choice->format == ExportFormat::kDataFile) {
        // A copy of the file would hold every record, not the rows asked for.
        QMessageBox::warning(parent, LoadQString(str::kAppName), Qs(text::kMarkedOnlyNoDataFile));
        return;
    }
    int result = kExportOk;
    {
        // Told on every way out, an exception included.
        const ExportMark runningMark(running);
        std::vector<int> chosen;
        if (positions) {
            chosen = positions();
        }
        result = ExportLogTo(*log, choice->format, QFile::encodeName(choice->path).toStdString(), pane0,
                             positions ? &chosen : nullptr);
    }
    if (result != kExportOk) {
        QMessageBox::warning(parent, LoadQString(str::kAppName), ExportFailureText(result));
    }
}
