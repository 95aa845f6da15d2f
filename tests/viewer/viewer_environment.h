#pragma once
// Shared set-up of the viewer tests: one QApplication, a private product
// tree (hklm.ini, AppData/Logs), private settings, the stand-in service
// reporting two log kinds, the module, and helpers that write logs and
// answer message boxes.

#include <QMessageBox>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>

namespace korv::test {

// The product's Logs directory of the test tree, with a trailing '/'.
std::string LogsDir();
// A fresh directory for one test's files.
std::string FreshDir(const std::string& name);

// Runs korvlog-write with `args`, `input` on its standard input; true on exit status 0.
bool RunWriter(const std::string& args, const std::string& input = {});
// JSON lines of `count` one-row Events records with auxiliary values first+1, first+2, ...
std::string EventsJson(int first, int count);

// Removes every stored value of the viewer.
void ClearViewerSettings();

// Waits up to `ms` for `done`, letting events run; answers done().
bool WaitFor(const std::function<bool()>& done, int ms = 5000);

// While alive, answers every message box with `answer` (or its default
// button when the box has no such button), recording the last text and caption.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok);
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    QString text;
    QString caption;
    int shown = 0;

private:
    QTimer timer_;
};

}  // namespace korv::test
