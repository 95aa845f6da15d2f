// The find window as a user meets it: it opens beside the list, and a row it finds is
// never left under it.

#include "shown_window.h"

#include "resources/ids.h"
#include "ui/log_filter_dlg.h"

#include <QGuiApplication>
#include <QScreen>

namespace korv::test {
namespace {

TEST_F(ShownWindowTest, FindWindowOpensBesideAndMovesOffTheRowItFound) {
    const std::string dir = FreshDir("find-place");
    const std::string log = dir + "/warnlog.dat";
    ASSERT_TRUE(RunWriter("append-json " + log, EventsJson(0, 30)));
    auto dlg = StartShownWindow(QString::fromStdString(log));
    ASSERT_TRUE(WaitFor([&] { return LoadedRows(*dlg, 30); }));
    const QRect screen = dlg->screen()->availableGeometry();
    dlg->setGeometry(screen.left() + 10, screen.top() + 10, screen.width() / 2, screen.height() / 2);

    dlg->OnCommand(cmd::kFind);
    QWidget* find = dlg->GetFindDialog();
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(WaitFor([&] { return find->isVisible(); }));
    EXPECT_TRUE(screen.contains(find->frameGeometry()));
    if (screen.right() - dlg->frameGeometry().right() > find->frameGeometry().width()) {
        EXPECT_FALSE(find->frameGeometry().intersects(dlg->frameGeometry())) << "room on the right";
    }

    // The user put it over the list's first rows; a find of the first row moves it away.
    CLogListCtrl* list = dlg->GetList();
    const QPoint rowsTop = list->viewport()->mapToGlobal(QPoint(0, 0));
    find->move(rowsTop);
    const auto rowRect = [&](int position) {
        const QRect cell = list->visualRect(list->model()->index(position, 0));
        return QRect(list->viewport()->mapToGlobal(QPoint(0, cell.top())), QSize(list->viewport()->width(), cell.height()));
    };
    ASSERT_TRUE(find->frameGeometry().intersects(rowRect(0))) << "it covers the first row now";
    std::u16string text;
    ASSERT_TRUE(dlg->GetLog().GetCellText(0, 2, text));
    CLogFilterData criteria = static_cast<CLogFilterExDlg*>(find)->GetCriteria();
    criteria.m_strText = text;
    static_cast<CLogFilterExDlg*>(find)->SetCriteria(criteria);
    dlg->OnCommand(ID_FILTERDLG_FIND);
    const std::vector<int> found = list->GetSelectedPositions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front(), 0);
    EXPECT_FALSE(find->frameGeometry().intersects(rowRect(found.front())));
    EXPECT_TRUE(screen.contains(find->frameGeometry()));
}

}  // namespace
}  // namespace korv::test
