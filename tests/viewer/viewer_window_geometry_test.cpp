// Size, place and maximised state come back in the next run, per kind of window.

#include "shown_window.h"
#include "viewer_environment.h"

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

TEST_F(ShownWindowTest, ARecordWindowOpensBesideItsOwnerOnTheScreen) {
    const std::string path = FreshDir("beside") + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + path, EventsJson(0, 5)));
    auto dlg = StartShownWindow(QString::fromStdString(path));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 5); }));
    const QRect screen = dlg->screen()->availableGeometry();
    dlg->setGeometry(screen.left() + 10, screen.top() + 10, screen.width() / 3, screen.height() / 2);
    QTest::qWait(50);
    dlg->ShowRecordWindow(0);
    const QList<CLogViewerDlg*> children = dlg->ChildWindows();
    ASSERT_EQ(children.size(), 1);
    const QRect record = children.front()->frameGeometry();
    EXPECT_TRUE(screen.contains(record)) << record.x() << "," << record.y() << " " << record.width() << "x" << record.height();
    const QRect owner = dlg->frameGeometry();
    if (screen.right() - owner.right() > record.width()) {
        EXPECT_FALSE(record.intersects(owner)) << "beside its owner, where the screen has room";
    } else if (record.width() < screen.width()) {
        EXPECT_GT(record.left(), owner.left()) << "off the rows at the left, where the screen has no room";
    }
}

}  // namespace
}  // namespace korv::test
