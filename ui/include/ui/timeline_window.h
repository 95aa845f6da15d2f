#pragma once
// The timeline window: the rows of several logs interleaved by time, newest first, in a
// virtual list (Time, Severity, Log, Summary) above a status bar. It follows every log it
// shows; a double-click opens the row's record in a record window (a directory row: its
// file in a window of its own). Logs that do not open are named in the status bar.
//
// Threads: everything here runs on the user-interface thread; the logs' updaters reach the
// window only through its notify sink, which posts a LogNotifyEvent.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "logmodel/log_type.h"
#include "ui/timeline_logs.h"

class QLabel;
class QTableView;
class CLogViewerDlg;

namespace korv {

class TimelineModel;
class WindowNotifySink;

class TimelineWindow : public QDialog {
    Q_OBJECT

public:
    // `owner` is the window that opened it; the timeline is deleted when closed.
    explicit TimelineWindow(QWidget* owner);
    ~TimelineWindow() override;
    TimelineWindow(const TimelineWindow&) = delete;
    TimelineWindow& operator=(const TimelineWindow&) = delete;

    // Opens the logs (paths, or Logs menu entries), starts following them and names in the
    // status bar those that did not open. True when any opened.
    bool OpenPaths(const std::vector<std::string>& paths);
    bool OpenEntries(const std::vector<LOG_INFO>& entries);

    // A double-click on timeline row `row`: its record in a record window.
    void ShowRecordWindow(int row);

    // --- State for tests --------------------------------------------------------------
    TimelineLogs& Logs() { return m_logs; }
    QTableView* List() const { return m_pList; }
    // The status bar's texts: the row count, and the logs that did not open.
    QString CountText() const;
    QString UnopenedText() const;
    // The logs whose rows are out of time order (a clock set back), whose rows are sorted.
    QString OrderText() const;
    // The record windows this window opened that are still open.
    QList<CLogViewerDlg*> ChildWindows() const;

protected:
    bool event(QEvent* event) override;

private:
    void Build();
    // After opening: the title, the failures and the first passes.
    bool Start(const QStringList& unopened);
    // New rows from the updaters (or a scan log's last rows at the end of its pass): merge
    // again, keeping the current row and the top row by their records.
    void Refresh(bool passEnd);
    void UpdateStatus();

    // Destroyed in reverse order: the logs' updaters stop before the sink goes.
    std::unique_ptr<WindowNotifySink> m_sink;
    TimelineLogs m_logs;
    std::unique_ptr<TimelineModel> m_model;
    QTableView* m_pList = nullptr;  // owned through Qt's parent chain
    QLabel* m_pCount = nullptr;
    QLabel* m_pUnopened = nullptr;
    QLabel* m_pOrder = nullptr;
    QTimer m_changeTimer;  // the one-second poll of the logs' files
};

}  // namespace korv
