// A find over many rows shows how far it has got in pane 0 while it runs and says so when the
// user stops it; a find that ends by itself leaves pane 0 as before.

#include "shown_window.h"

#include "logmodel/log_updater_thread.h"
#include "resources/ids.h"
#include "ui/log_filter_dlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace korv::test {
namespace {

// The percentage of a "Searching… N%" text, or -1 for any other text.
int SearchingPercent(const QString& text) {
    static const QRegularExpression form(QString::fromUtf8("^Searching\xE2\x80\xA6 (\\d+)%$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

TEST_F(ShownWindowTest, AFindShowsItsProgressAndStopSaysTheSearchStopped) {
    constexpr int kRecords = 12000;
    const std::string path = FreshDir("find-progress") + "/eventlog.dat";
    ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count " + std::to_string(kRecords) + " --seed 11"));
    auto dlg = StartShownWindow(QString::fromStdString(path));
    CLogListCtrl* list = dlg->GetList();
    ASSERT_TRUE(WaitFor([&] { return list->GetItemCount() >= kRecords && !dlg->GetUpdater().IsBusy(); }, 30000));
    dlg->OnCommand(cmd::kFind);
    CLogFilterExDlg* find = dlg->GetFindDialog();
    ASSERT_NE(find, nullptr);
    // The find's pump turns the event loop between blocks of rows: a zero timer sees each turn
    // and notes every new text of pane 0; `onProgress` runs at each new percentage.
    std::vector<int> seen;  // the percentages, -1 for another text
    std::function<void(int)> onProgress;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int percent = SearchingPercent(PaneText(*dlg, 0));
        if (seen.empty() || seen.back() != percent) {
            seen.push_back(percent);
            if (onProgress) onProgress(percent);
        }
    });
    auto findText = [&](const QString& text) {
        seen.clear();
        find->findChild<QLineEdit*>()->setText(text);
        find->ReadControls();
        watch.start();
        dlg->OnCommand(ID_FILTERDLG_FIND);
        watch.stop();
    };
    const QString before = PaneText(*dlg, 0);
    ASSERT_EQ(SearchingPercent(before), -1);

    // An absent text: every row is examined, the percentages grow and say so all along.
    findText(QStringLiteral("NoSuchTextInAnyRow-5c1e"));
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(std::count_if(seen.begin(), seen.end(), [](int p) { return p > 0 && p < 100; }), 2);
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), -1) == seen.end()) << "pane 0 read something else";
    EXPECT_EQ(PaneText(*dlg, 0), "Not found");

    // The last row's text, from the top: found at the end of a long walk, after which pane 0
    // reads what it read before the find.
    const int last = list->GetItemCount() - 1;
    std::u16string wanted;
    ASSERT_TRUE(dlg->GetLog().GetCellText(last, 2, wanted));
    dlg->OnCommand(cmd::kFind);  // a command ends the "Not found" of the last find
    list->clearSelection();
    findText(QString::fromStdU16String(wanted));
    EXPECT_FALSE(seen.empty());
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), -1) == seen.end());
    ASSERT_EQ(list->GetSelectedPositions().size(), 1u);
    EXPECT_EQ(PaneText(*dlg, 0), before);

    // Once the find is under way the user presses Stop, the button that Find became.
    bool stopAsked = false;
    onProgress = [&](int percent) {
        if (stopAsked || percent <= 0) return;
        stopAsked = true;
        for (QPushButton* button : find->findChildren<QPushButton*>())
            if (button->text() == QStringLiteral("&Stop")) button->click();
    };
    findText(QStringLiteral("NoSuchTextInAnyRow-5c1e"));
    ASSERT_TRUE(stopAsked) << "the find never showed its progress";
    EXPECT_TRUE(dlg->GetLog().IsFindCancelled()) << "the Stop button did not reach the find";
    EXPECT_LT(dlg->GetLog().GetFindProgress(), 100);
    EXPECT_EQ(PaneText(*dlg, 0), "Search stopped");
    QTest::qWait(250);  // the progress timer leaves it while nothing loads
    EXPECT_EQ(PaneText(*dlg, 0), "Search stopped");
}

}  // namespace
}  // namespace korv::test
