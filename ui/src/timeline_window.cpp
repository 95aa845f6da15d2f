// The timeline window: building, opening its logs, following them and opening records.

#include "ui/timeline_window.h"

#include "ui/command_line.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/timeline_model.h"
#include "ui/viewer_text.h"
#include "ui/window_geometry.h"
#include "ui/window_notify_sink.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace korv {

TimelineWindow::TimelineWindow(QWidget* owner)
    : QDialog(owner), m_sink(std::make_unique<WindowNotifySink>(this)) {
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    m_model = std::make_unique<TimelineModel>(m_logs);
    Build();
    m_changeTimer.setInterval(1000);
    connect(&m_changeTimer, &QTimer::timeout, this, [this] { m_logs.PollChanges(); });
}

TimelineWindow::~TimelineWindow() {
    SaveWindowGeometry(*this, QStringLiteral("TimelineWindow"));
    m_changeTimer.stop();
    // The list goes with the window's children, after the model: it lets go first.
    m_pList->setModel(nullptr);
    m_logs.Stop();
}

void TimelineWindow::Build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_pList = new QTableView(this);
    m_pList->setModel(m_model.get());
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setWordWrap(false);
    m_pList->setShowGrid(false);
    m_pList->verticalHeader()->hide();
    // Uniform rows: the view never asks every row for its height.
    m_pList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 6);
    m_pList->horizontalHeader()->setStretchLastSection(true);
    m_pList->setColumnWidth(0, 150);
    m_pList->setColumnWidth(1, 90);
    m_pList->setColumnWidth(2, 150);
    layout->addWidget(m_pList, 1);
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    m_pUnopened = new QLabel(status);
    m_pOrder = new QLabel(status);
    m_pCount = new QLabel(status);
    status->addWidget(m_pUnopened, 1);
    status->addWidget(m_pOrder);
    status->addPermanentWidget(m_pCount);
    layout->addWidget(status);
    connect(m_pList, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { ShowRecordWindow(index.row()); });
    if (!RestoreWindowGeometry(*this, QStringLiteral("TimelineWindow"))) {
        resize(960, 600);
    }
}

bool TimelineWindow::OpenPaths(const std::vector<std::string>& paths) {
    QStringList unopened;
    for (const std::string& path : paths) {
        std::string why;
        if (!m_logs.OpenPath(path, why)) {
            unopened << QStringLiteral("%1 (%2)").arg(QString::fromStdString(path), QString::fromStdString(why));
        }
    }
    return Start(unopened);
}

bool TimelineWindow::OpenEntries(const std::vector<LOG_INFO>& entries) {
    QStringList unopened;
    for (const LOG_INFO& entry : entries) {
        std::string why;
        if (!m_logs.OpenEntry(entry, why)) {
            unopened << QStringLiteral("%1 (%2)").arg(QString::fromStdString(entry.m_strDisplayName),
                                                      QString::fromStdString(why));
        }
    }
    return Start(unopened);
}

bool TimelineWindow::Start(const QStringList& unopened) {
    QStringList kinds;
    for (std::size_t i = 0; i < m_logs.LogCount(); ++i) {
        QString kind = QString::fromStdU16String(m_logs.LogAt(i).kind);
        // Two logs of one kind (a scan directory and a single scan log) are told apart by
        // their file, as the Logs menu does.
        if (kinds.contains(kind)) {
            kind += QStringLiteral(" (%1)").arg(
                QFileInfo(QDir::cleanPath(QString::fromStdString(m_logs.LogAt(i).log.GetDisplayPath(false)))).fileName());
        }
        kinds << kind;
    }
    setWindowTitle(MakeWindowTitle(QStringLiteral("Timeline"), kinds.join(QStringLiteral(" + "))));
    m_pUnopened->setText(unopened.isEmpty() ? QString()
                                            : QStringLiteral("Not opened: ") + unopened.join(QStringLiteral("; ")));
    m_pUnopened->setToolTip(m_pUnopened->text());
    m_logs.Merge();
    m_model->Reload();
    UpdateStatus();
    m_logs.StartFollowing(m_sink.get());
    m_changeTimer.start();
    return m_logs.LogCount() > 0;
}

bool TimelineWindow::event(QEvent* e) {
    if (e->type() == LogNotifyEvent::kType) {
        const std::intptr_t lParam = static_cast<LogNotifyEvent*>(e)->LParam();
        if (lParam == LOG_NOTIFY_RESULTS || lParam == LOG_NOTIFY_PASS_END) {
            Refresh(lParam == LOG_NOTIFY_PASS_END);
        }
        return true;
    }
    return QDialog::event(e);
}

void TimelineWindow::Refresh(bool passEnd) {
    // The keys are taken while the merge still matches the logs' rows.
    const QModelIndex current = m_pList->currentIndex();
    const TimelineKey key = m_logs.KeyOf(current.isValid() ? current.row() : -1);
    const int topRow = m_pList->rowAt(0);
    const TimelineKey topKey = m_logs.KeyOf(topRow);
    const bool changed = passEnd ? m_logs.OnPassEnd() : m_logs.ApplyPending();
    if (!changed) {
        return;
    }
    m_logs.Merge();
    m_model->Reload();
    // The current row stays the record it was; the view stays at the row it showed at its
    // top, unless it showed the newest rows: then it shows the newest rows still.
    if (const int row = m_logs.Find(key); row >= 0) {
        m_pList->setCurrentIndex(m_model->index(row, std::max(current.column(), 0)));
        m_pList->selectRow(row);
    }
    if (topRow > 0) {
        if (const int top = m_logs.Find(topKey); top >= 0) {
            m_pList->scrollTo(m_model->index(top, 0), QAbstractItemView::PositionAtTop);
        }
    } else {
        m_pList->scrollToTop();
    }
    UpdateStatus();
}

void TimelineWindow::UpdateStatus() {
    m_pCount->setText(CountText());
    QStringList outOfOrder;
    for (std::size_t i = 0; i < m_logs.LogCount(); ++i) {
        TimelineLogs::Log& l = m_logs.LogAt(i);
        if (FirstOutOfTimeOrder(*l.source) >= 0) {
            outOfOrder << QString::fromStdString(l.log.GetDisplayPath(true));
        }
    }
    m_pOrder->setText(outOfOrder.isEmpty() ? QString()
                                           : QStringLiteral("Out of time order, sorted by time: ") +
                                                 outOfOrder.join(QStringLiteral(", ")));
}

QString TimelineWindow::OrderText() const { return m_pOrder->text(); }

QString TimelineWindow::CountText() const {
    return QStringLiteral("Rows: %1 of %2 logs").arg(m_logs.RowCount()).arg(m_logs.LogCount());
}

QString TimelineWindow::UnopenedText() const { return m_pUnopened->text(); }

void TimelineWindow::ShowRecordWindow(int row) {
    int position = 0;
    TimelineLogs::Log* l = m_logs.Locate(row, position);
    if (l == nullptr) {
        return;
    }
    CCommandLineInfo request;
    request.m_nShellCommand = CCommandLineInfo::FileOpen;
    CLogViewerDlg* child = nullptr;
    if (l->log.IsDirectory()) {
        const std::u16string file = l->log.GetDirectoryRowFile(position);
        if (file.empty()) {
            return;
        }
        request.m_strFileName = QString::fromStdString(l->log.GetDisplayPath(false)) + QString::fromStdU16String(file);
        child = new CLogViewerDlg(this);
    } else {
        const REC_INFO_BASE* info = l->log.GetRow(position);
        // As in a log's own window: bit 0 marks the row that stands for its record.
        if (info == nullptr || (info->flags & 1U) == 0) {
            return;
        }
        request.m_strFileName =
            QString::fromStdString(l->log.GetDisplayPath(false)) + QLatin1Char(':') + QString::number(info->record);
        child = new CLogViewerDlgDetail(this);
    }
    child->SetStartupRequest(&request);
    child->OnInitDialog();
    child->SetStartupRequest(nullptr);
    child->show();
}

QList<CLogViewerDlg*> TimelineWindow::ChildWindows() const {
    return findChildren<CLogViewerDlg*>(QString(), Qt::FindDirectChildrenOnly);
}

}  // namespace korv
