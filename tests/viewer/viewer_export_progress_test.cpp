// Export... on a log large enough to take a while: the window keeps
// repainting and shows the progress, and nothing reaches the log meanwhile.

#include "shown_window.h"

#include "logmodel/log.h"
#include "resources/ids.h"
#include "ui/export_command.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>

#include <functional>

namespace korv::test {
namespace {

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

// The export runs on the window's thread. It must let the window repaint
// and show "Exporting" in pane 0 as it goes, and nothing that arrives in the
// meantime may close the window or change the rows it writes.
TEST_F(ShownWindowTest, ExportShowsProgressAndHoldsTheLogStill) {
    const std::string dir = FreshDir("export-progress");
    const std::string log = dir + "/warnlog.dat";
    constexpr int kRows = 3000;
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, kRows)));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, kRows); }));

    // Paints of pane 0 while the rows are written.
    auto* pane0 = FindControl<QLabel>(dlg->GetStatusBar(), ctrl::kStatusBar * 10 + 0);
    ASSERT_NE(pane0, nullptr);
    int paintsDuringExport = 0;
    struct PaintCounter : QObject {
        std::function<void()> onPaint;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) onPaint();
            return false;
        }
    } counter;
    counter.onPaint = [&] {
        if (dlg->GetLog().IsExporting()) ++paintsDuringExport;
    };
    pane0->installEventFilter(&counter);

    const std::string target = dir + "/rows.xml";
    int turnsDuringExport = 0;
    QStringList progress;
    bool closedDuringExport = false;
    const std::uint32_t maskBefore = dlg->GetLog().GetFilter().m_nTypeMask;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            files->selectNameFilter(ExportNameFilters().front());
            files->selectFile(QString::fromStdString(target));
            static_cast<QDialog*>(files)->accept();  // public there
            return;
        }
        if (!dlg->GetLog().IsExporting()) {
            return;
        }
        ++turnsDuringExport;
        if (!progress.contains(PaneText(*dlg, 0))) {
            progress << PaneText(*dlg, 0);
        }
        if (turnsDuringExport == 1) {
            // Neither a command nor a close may reach the log under the export.
            dlg->OnCommand(cmd::kFilterInformation);
            closedDuringExport = dlg->close();
        }
    });
    probe.start();
    dlg->OnCommand(cmd::kExport);
    probe.stop();

    EXPECT_GT(turnsDuringExport, 0) << "the window's events ran during the export";
    EXPECT_GT(paintsDuringExport, 0) << "pane 0 was repainted during the export";
    // The progress, then "Done" as the last rows go out.
    if (!progress.isEmpty() && progress.back() == QStringLiteral("Done")) {
        progress.pop_back();
    }
    ASSERT_FALSE(progress.isEmpty());
    for (const QString& text : progress) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Exporting \\d+\\.\\d%$")).match(text).hasMatch())
            << text.toStdString();
    }
    EXPECT_FALSE(closedDuringExport);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->GetLog().GetFilter().m_nTypeMask, maskBefore);
    EXPECT_FALSE(dlg->GetLog().IsExporting());
    EXPECT_EQ(PaneText(*dlg, 0), "Done");
    EXPECT_EQ(Occurrences(FileBytes(target), "<RECORD>"), kRows);

    // Afterwards the window takes commands again.
    dlg->OnCommand(cmd::kFilterInformation);
    EXPECT_NE(dlg->GetLog().GetFilter().m_nTypeMask, maskBefore);
}

}  // namespace
}  // namespace korv::test
