// Edit > Time Zone from the window: a wrong offset is corrected in place, and every window
// shows the offset in force.

#include "shown_window.h"

#include "resources/ids.h"
#include "ui/time_zone_dlg.h"
#include "ui/ui_text.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace korv::test {
namespace {

// A wrong offset is refused and can be corrected in the same dialog.
TEST_F(ShownWindowTest, WrongTimeZoneCanBeCorrectedInPlace) {
    auto dlg = StartShownWindow();
    MessageBoxAnswerer answer;
    bool openAfterWrong = false;
    QString selectedAfterWrong;
    int step = 0;
    QTimer typist;
    typist.setInterval(10);
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* zone = qobject_cast<CTimeZone*>(QApplication::activeModalWidget());
        if (zone == nullptr || step > 1) {
            return;
        }
        auto* edit = FindControl<QLineEdit>(zone, ctrl::kUtcOffset);
        auto* ok = FindControl<QPushButton>(zone, ctrl::kOk);
        if (step == 0) {
            step = 1;
            edit->setText(QStringLiteral("15"));
            ok->click();  // "Wrong value!" is answered meanwhile
            openAfterWrong = zone->isVisible();
            selectedAfterWrong = edit->selectedText();
            edit->setText(QStringLiteral("-4"));
            step = 2;
            ok->click();
        }
    });
    typist.start();
    dlg->OnCommand(cmd::kTimeZone);
    typist.stop();
    EXPECT_EQ(answer.shown, 1);
    EXPECT_EQ(answer.text, "Wrong value!");
    EXPECT_TRUE(openAfterWrong);
    EXPECT_EQ(selectedAfterWrong, "15");
    EXPECT_EQ(dlg->GetUtcOffset(), -4);
    EXPECT_EQ(PaneText(*dlg, 5), "UTC: -4");
    dlg->ApplyUtcOffset(0);
}

// The zone is the process's: every window shows its times in it, and every window's pane
// says so, whichever window changed it and whenever a window was opened.
TEST_F(ShownWindowTest, EveryWindowShowsTheOffsetItsTimesAreShownIn) {
    const std::string dir = FreshDir("zone-panes");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log,
                          "{\"type\": \"0x00010002\", \"time\": \"2026-12-08 10:00:00\", \"rows\": [{\"level\": "
                          "\"0x40000000\", \"fields\": [{\"text\": \"Kernel\"}, {\"msg\": 1}, {\"text\": \"u\"}]}]}\n"));
    auto first = StartShownWindow();
    auto other = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*other, 1); }));
    auto cell = [](CLogViewerDlg& dlg) {
        std::u16string text;
        dlg.GetLog().GetCellText(0, 0, text);
        return text;
    };
    EXPECT_EQ(cell(*other), u"2026-12-08 10:00:00");
    first->ApplyUtcOffset(3);
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*other, 1); }));
    for (CLogViewerDlg* dlg : {first.get(), other.get()}) {
        EXPECT_EQ(PaneText(*dlg, 5), "UTC: 3");
    }
    EXPECT_EQ(cell(*other), u"2026-12-08 13:00:00");
    // A window opened later, a record window among them, starts with the offset in force.
    auto later = StartShownWindow(QString::fromStdString(log + ":0"));
    ASSERT_TRUE(WaitFor([&] { return later->GetLog().IsOpen() && !later->GetUpdater().IsBusy(); }));
    EXPECT_EQ(PaneText(*later, 5), "UTC: 3");
    EXPECT_EQ(later->GetUtcOffset(), 3);
    other->ApplyUtcOffset(-5);
    for (CLogViewerDlg* dlg : {first.get(), other.get(), later.get()}) {
        EXPECT_EQ(PaneText(*dlg, 5), "UTC: -5");
    }
    first->ApplyUtcOffset(0);
    EXPECT_EQ(PaneText(*later, 5), "UTC: 0");
}

}  // namespace
}  // namespace korv::test
