#include "ui/log_viewer_app.h"

#include "platform/heap.h"
#include "platform/machine_registry.h"
#include "product/module_manager.h"
#include "resources/accelerators.h"
#include "resources/ids.h"
#include "resources/string_table.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/menu_builder.h"
#include "ui/timeline_window.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QShortcut>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>
#include <cstdio>

namespace {

CLogViewerApp* g_app = nullptr;  // the live instance; user-interface thread only

// The window as the user sees it: its other visible windows (the find
// window, record windows) over its right half, and a message box or dialog
// waiting for an answer centred over everything.
QPixmap ScreenshotOf(QWidget& window) {
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    QWidget* modal = QApplication::activeModalWidget();
    const auto ownedByWindow = [&window](const QWidget* other) {
        for (const QWidget* p = other->parentWidget(); p != nullptr; p = p->parentWidget()) {
            if (p == &window) {
                return true;
            }
        }
        return false;
    };
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != &window && other != modal && other->isVisible() && ownedByWindow(other)) {
            const QPixmap over = other->grab();
            painter.drawPixmap(std::max(0, shot.width() - over.width() - 16), 48, over);
        }
    }
    // The window's own owner (the main window, run modally, under a timeline) is not drawn
    // over it.
    const auto ownsWindow = [&window](const QWidget* other) {
        for (const QWidget* p = window.parentWidget(); p != nullptr; p = p->parentWidget()) {
            if (p == other) {
                return true;
            }
        }
        return false;
    };
    if (modal != nullptr && modal != &window && modal->isVisible() && !ownsWindow(modal)) {
        const QPixmap over = modal->grab();
        painter.drawPixmap((shot.width() - over.width()) / 2, (shot.height() - over.height()) / 2, over);
    }
    painter.end();
    return shot;
}

}  // namespace

CLogViewerApp::CLogViewerApp() {
    g_app = this;
    // A large log's rows move between blocks of many megabytes while it loads; without this
    // the heap keeps several bytes a row of what those moves freed.
    korv::platform::ReturnLargeBlocksToSystem();
    m_bAccelerators = !korv::AcceleratorTable(korv::res::kAcceleratorsMain).empty();
}

CLogViewerApp::~CLogViewerApp() {
    for (auto& [window, shortcuts] : m_windows) {
        qDeleteAll(shortcuts);
    }
    m_windows.clear();
    if (g_app == this) {
        g_app = nullptr;
    }
}

CLogViewerApp* CLogViewerApp::Instance() { return g_app; }

void CLogViewerApp::SetRegistryKey() {
    QCoreApplication::setOrganizationName(QStringLiteral("KORV"));
    QCoreApplication::setApplicationName(korv::LoadQString(korv::str::kAppName));
}

void CLogViewerApp::RegisterAccelWindow(CLogViewerDlg* window) {
    if (window == nullptr || m_windows.count(window) != 0) {
        return;
    }
    QList<QPointer<QShortcut>>& shortcuts = m_windows[window];
    if (!m_bAccelerators) {
        return;
    }
    // Window shortcuts fire only while that window is the active one, so the
    // find dialog and the small dialogs (windows of their own) never get them.
    for (QShortcut* shortcut : korv::InstallAccelerators(*window, korv::res::kAcceleratorsMain,
                                                         [window](int id) { window->OnCommand(id); })) {
        shortcuts.push_back(shortcut);
    }
}

void CLogViewerApp::UnregisterAccelWindow(CLogViewerDlg* window) {
    const auto it = m_windows.find(window);
    if (it == m_windows.end()) {
        return;
    }
    qDeleteAll(it->second);
    m_windows.erase(it);
}

bool CLogViewerApp::IsAccelWindow(const CLogViewerDlg* window) const { return m_windows.count(window) != 0; }

int CLogViewerApp::InitInstance(const korv::ViewerOptions& options) {
    // Asked once here so that every product-registry access later knows the view.
    korv::platform::MachineIs64Bit();
    SetRegistryKey();
    korv::StartProductModule();

    int exitCode = 0;
    bool quitRequested = false;
    {
        CLogViewerDlg dlg;
        m_pMainWnd = &dlg;
        dlg.SetStartupRequest(&options.request);
        // Closes the window as if the user chose Exit; a message box still
        // waiting for an answer goes first.
        const auto quit = [&] {
            quitRequested = true;
            while (QWidget* modal = QApplication::activeModalWidget()) {
                if (modal == &dlg) {
                    break;
                }
                modal->close();
                QCoreApplication::processEvents();
                if (QApplication::activeModalWidget() == modal) {
                    break;
                }
            }
            dlg.OnCommand(korv::cmd::kExit);
        };
        bool rowsPainted = false;
        QPointer<korv::TimelineWindow> timeline;  // --timeline's window, if it opened
        QTimer quitTimer;
        if (options.quitAfterMs >= 0) {
            quitTimer.setSingleShot(true);
            QObject::connect(&quitTimer, &QTimer::timeout, &dlg, [&] {
                QWidget& shown = timeline ? static_cast<QWidget&>(*timeline) : static_cast<QWidget&>(dlg);
                if (!options.screenshotFile.isEmpty() && !ScreenshotOf(shown).save(options.screenshotFile, "PNG")) {
                    exitCode = 1;
                }
                if (options.measureFirstRows && !rowsPainted) {
                    std::fputs("korv-logviewer: no rows were painted\n", stderr);
                    exitCode = 1;
                }
                quit();
            });
            quitTimer.start(options.quitAfterMs);
        }
        std::vector<std::unique_ptr<QTimer>> commandTimers;
        for (const korv::ViewerOptions::TimedCommand& command : options.commands) {
            auto timer = std::make_unique<QTimer>();
            timer->setSingleShot(true);
            const int id = command.id;
            QObject::connect(timer.get(), &QTimer::timeout, &dlg, [&dlg, id] { dlg.OnCommand(id); });
            timer->start(command.atMs);
            commandTimers.push_back(std::move(timer));
        }
        // The log is opened inside OnInitDialog: the time from here leaves out the start-up.
        const auto openStarted = std::chrono::steady_clock::now();
        dlg.OnInitDialog();
        if (!options.timeline.isEmpty()) {
            std::vector<std::string> paths;
            for (const QString& path : options.timeline) {
                paths.push_back(path.toStdString());
            }
            timeline = dlg.OpenTimeline(paths);
        }
        // The list exists from here; nothing is painted before exec().
        if (options.measureFirstRows && dlg.GetList() != nullptr) {
            // Queued, so the paint that drew the rows finishes before the window closes.
            QObject::connect(
                dlg.GetList(), &CLogListCtrl::RowsPainted, &dlg,
                [&] {
                    if (rowsPainted || quitRequested) {
                        return;
                    }
                    rowsPainted = true;
                    const auto elapsed = std::chrono::steady_clock::now() - options.started;
                    const auto sinceOpen = std::chrono::steady_clock::now() - openStarted;
                    std::printf("first rows painted after %lld ms\n", static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()));
                    std::printf("first rows painted %lld us after the open began\n", static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::microseconds>(sinceOpen).count()));
                    std::fflush(stdout);
                    quit();
                },
                Qt::QueuedConnection);
        }
        if (!quitRequested) {
            dlg.exec();
        }
        m_pMainWnd = nullptr;
        // The window and its children are destroyed here, before the module
        // they decode with goes.
    }
    korv::StopProductModule();
    return exitCode;
}
