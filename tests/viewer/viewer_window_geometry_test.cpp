// Size, place and maximised state come back in the next run, per kind of window.

#include "shown_window.h"

#include <QScreen>
#include <QTest>

namespace korv::test {
namespace {

TEST_F(ShownWindowTest, MainWindowComesBackWhereItWasLeft) {
    auto dlg = StartShownWindow();
    const QRect screen = dlg->screen()->availableGeometry();
    const QRect left(screen.left() + 100, screen.top() + 80, std::min(1200, screen.width() - 150),
                     std::min(700, screen.height() - 120));
    dlg->setGeometry(left);
    ASSERT_TRUE(WaitFor([&] { return dlg->geometry() == left; }));
    dlg.reset();

    dlg = StartShownWindow();
    EXPECT_EQ(dlg->geometry(), left) << "the next run";
    EXPECT_FALSE(dlg->isMaximized());
    dlg->showMaximized();
    ASSERT_TRUE(WaitFor([&] { return dlg->isMaximized(); }));
    dlg.reset();
    dlg = StartShownWindow();
    EXPECT_TRUE(WaitFor([&] { return dlg->isMaximized(); })) << "maximised stays maximised";
    dlg->showNormal();
    EXPECT_TRUE(WaitFor([&] { return dlg->geometry() == left; })) << "and keeps the size to return to";
    dlg.reset();

    // A place on no screen (a display since removed) comes back onto one.
    dlg = StartShownWindow();
    dlg->setGeometry(screen.right() + 5000, screen.bottom() + 5000, 800, 500);
    dlg.reset();
    dlg = StartShownWindow();
    EXPECT_TRUE(screen.intersects(dlg->frameGeometry())) << dlg->x() << "," << dlg->y();
}

}  // namespace
}  // namespace korv::test
