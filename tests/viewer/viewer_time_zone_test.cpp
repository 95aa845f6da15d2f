// Edit > Time Zone from the window: a wrong offset is corrected in place.

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

}  // namespace
}  // namespace korv::test
