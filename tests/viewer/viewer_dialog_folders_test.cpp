// Where the file dialogs start: the Logs folder (Export: the documents folder) on first
// use, then the folder chosen last for that kind of action, also in a later run.

#include "shown_window.h"

#include "resources/ids.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QTimer>

namespace korv::test {
namespace {

// Answers the next file dialog: records the folder it starts in, then picks `pick` (a file
// name in that dialog's folder is not needed) or cancels when `pick` is empty.
void AnswerFileDialog(QString& startedIn, const QString& pick) {
    QTimer::singleShot(0, [&startedIn, pick] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        startedIn = QDir::cleanPath(dialog->directory().absolutePath());
        if (pick.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->selectFile(pick);
        static_cast<QDialog*>(dialog)->accept();  // as the Save or Open button does
    });
}

QString Clean(const std::string& path) { return QDir::cleanPath(QString::fromStdString(path)); }

TEST_F(ShownWindowTest, FileDialogsStartWhereThatActionWasLastDone) {
    const std::string dir = FreshDir("folders");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 2)));
    auto dlg = StartShownWindow();
    QString startedIn;

    AnswerFileDialog(startedIn, QString::fromStdString(log));
    dlg->OnCommand(cmd::kOpenFile);
    EXPECT_EQ(startedIn, Clean(LogsDir())) << "first use: the product's Logs folder";
    EXPECT_TRUE(dlg->GetLog().IsOpen());

    AnswerFileDialog(startedIn, {});
    dlg->OnCommand(cmd::kOpenFile);
    EXPECT_EQ(startedIn, Clean(dir));

    // A later run remembers it; each kind of action keeps its own folder.
    dlg.reset();
    dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 2); }));
    AnswerFileDialog(startedIn, {});
    dlg->OnCommand(cmd::kOpenFile);
    EXPECT_EQ(startedIn, Clean(dir));

    // Export's first use: the documents folder, or home where there is none.
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(documents).exists()) documents = QDir::homePath();
    AnswerFileDialog(startedIn, QString::fromStdString(dir + "/rows.txt"));
    dlg->OnCommand(cmd::kExport);
    EXPECT_EQ(startedIn, QDir::cleanPath(documents));
    EXPECT_TRUE(std::filesystem::exists(dir + "/rows.txt"));
    AnswerFileDialog(startedIn, {});
    dlg->OnCommand(cmd::kExport);
    EXPECT_EQ(startedIn, Clean(dir));

    // A remembered folder that is gone is forgotten.
    const std::string gone = FreshDir("folders-gone");
    ASSERT_TRUE(RunWriter("append-json " + gone + "/warnlog.dat", EventsJson(0, 1)));
    AnswerFileDialog(startedIn, QString::fromStdString(gone + "/warnlog.dat"));
    dlg->OnCommand(cmd::kOpenFile);
    dlg->CloseLog();
    std::filesystem::remove_all(gone);
    AnswerFileDialog(startedIn, {});
    dlg->OnCommand(cmd::kOpenFile);
    EXPECT_EQ(startedIn, Clean(LogsDir()));
}

}  // namespace
}  // namespace korv::test
