#pragma once
// The application object: prepares the process, starts the product module,
// runs the main viewer window modally and cleans up after it. It also keeps
// the set of windows whose keyboard accelerators work: each viewer window
// registers itself, while the find dialog and the small dialogs never do,
// so F3 or Ctrl+C typed there does nothing.
//
// The QApplication is the caller's (main's); this object lives beside it.

#include <QList>
#include <QPointer>

#include "ui/command_line.h"

#include <map>
#include <memory>

class CLogViewerDlg;
class QShortcut;
class QWidget;

class CLogViewerApp {
public:
    CLogViewerApp();
    virtual ~CLogViewerApp();
    CLogViewerApp(const CLogViewerApp&) = delete;
    CLogViewerApp& operator=(const CLogViewerApp&) = delete;

    // The live instance, or null.
    static CLogViewerApp* Instance();

    // Settings location, module, the main window run modally with the
    // options' request, then the orderly shut-down. Returns the process's
    // exit code (0, or 1 when a requested screenshot could not be written).
    int InitInstance(const korv::ViewerOptions& options);

    // Accelerators for `window` while it is the active window; a window is
    // registered once however often it asks.
    void RegisterAccelWindow(CLogViewerDlg* window);
    void UnregisterAccelWindow(CLogViewerDlg* window);
    bool IsAccelWindow(const CLogViewerDlg* window) const;
    // False when the accelerator table could not be loaded.
    bool HasAccelerators() const { return m_bAccelerators; }

    CLogViewerDlg* MainWindow() const { return m_pMainWnd; }

    // The settings location of the viewer: organisation "KORV", application
    // string 57344. Done by InitInstance; tests call it alone.
    static void SetRegistryKey();

private:
    bool m_bAccelerators = false;
    CLogViewerDlg* m_pMainWnd = nullptr;  // the modal main window while it runs
    // Registered windows and the shortcuts made for each (owned by the window).
    std::map<const CLogViewerDlg*, QList<QPointer<QShortcut>>> m_windows;
};
