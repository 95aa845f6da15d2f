// Opening a timeline window from the main window.

#include "ui/log_viewer_dlg.h"

#include "logmodel/log_type.h"
#include "ui/timeline_window.h"

#include <QMessageBox>

#include <memory>
#include <set>

namespace {

// Said when none of the logs opened, instead of a window that would show nothing but that;
// else the window is shown and left to Qt's parent chain (it deletes itself when closed).
korv::TimelineWindow* Show(std::unique_ptr<korv::TimelineWindow> window, bool opened, QWidget* owner,
                           const QString& caption) {
    if (!opened) {
        const QString why = window->UnopenedText();
        window.reset();
        QMessageBox box(QMessageBox::Warning, caption, QStringLiteral("No log opened.\n") + why, QMessageBox::Ok, owner);
        box.exec();
        return nullptr;
    }
    window->show();
    return window.release();
}

}  // namespace

korv::TimelineWindow* CLogViewerDlg::OpenTimeline(const std::vector<std::string>& paths) {
    auto window = std::make_unique<korv::TimelineWindow>(this);
    const bool opened = window->OpenPaths(paths);
    return Show(std::move(window), opened, this, MainWindowTitle());
}

korv::TimelineWindow* CLogViewerDlg::OpenProductTimeline() {
    std::vector<LOG_INFO> entries;
    if (const auto table = nsLog::GetLogTable()) {
        std::set<std::string> names;  // a kind may be offered twice by one file name
        for (const LOG_INFO& entry : *table) {
            if (nsLog::IsOfferedInLogsMenu(entry) && names.insert(entry.m_strFileName).second) {
                entries.push_back(entry);
            }
        }
    }
    auto window = std::make_unique<korv::TimelineWindow>(this);
    const bool opened = window->OpenEntries(entries);
    return Show(std::move(window), opened, this, MainWindowTitle());
}
