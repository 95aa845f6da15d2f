// A find over many rows shows how far it has got in pane 0 while it runs, and says so when
// the user stops it; a find that ends by itself leaves pane 0 as before.

#include "shown_window.h"

#include "logmodel/log_updater_thread.h"
#include "resources/ids.h"
#include "ui/log_filter_dlg.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

namespace korv::test {
namespace {

constexpr int kRecords = 12000;

// The texts pane 0 showed while the find ran, in order, each once; the find's pump turns the
// event loop between its blocks of rows, so a zero timer looks at every turn.
class PaneWatch {
public:
    PaneWatch(CLogViewerDlg& dlg, std::function<void(const QString&)> onText = {}) : dlg_(dlg) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this, onText] {
            const QString text = PaneText(dlg_, 0);
            if (texts.empty() || texts.back() != text) {
                texts.push_back(text);
                if (onText) onText(text);
            }
        });
        timer_.start();
    }
    std::vector<QString> texts;

private:
    CLogViewerDlg& dlg_;
    QTimer timer_;
};

// The percentage of a "Searching… N%" text, or -1 for any other text.
int SearchingPercent(const QString& text) {
    static const QRegularExpression form(QString::fromUtf8("^Searching\xE2\x80\xA6 (\\d+)%$"));
    const QRegularExpressionMatch match = form.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Every text seen is a progress text, the percentages grow, and some lie strictly between
// the start and the end.
::testing::AssertionResult ShowsProgress(const std::vector<QString>& texts) {
    int last = -1;
    int between = 0;
    for (const QString& text : texts) {
        const int percent = SearchingPercent(text);
        if (percent < 0) return ::testing::AssertionFailure() << "pane 0 read \"" << text.toStdString() << "\"";
        if (percent < last || percent > 100)
            return ::testing::AssertionFailure() << "went from " << last << "% to " << percent << "%";
        last = percent;
        between += percent > 0 && percent < 100 ? 1 : 0;
    }
    if (between < 2) return ::testing::AssertionFailure() << between << " progress texts between 0% and 100%";
    return ::testing::AssertionSuccess();
}

class ViewerFindProgress : public ShownWindowTest {
protected:
    void OpenLargeLog() {
        const std::string path = FreshDir("find-progress") + "/eventlog.dat";
        ASSERT_TRUE(RunWriter("append " + path + " --kind eventlog --count " + std::to_string(kRecords) +
                              " --seed 11"));
        dlg_ = StartShownWindow(QString::fromStdString(path));
        // One pass hands every row over at once.
        ASSERT_TRUE(WaitFor([&] { return dlg_->GetList()->GetItemCount() >= kRecords && !dlg_->GetUpdater().IsBusy(); },
                            30000));
        dlg_->OnCommand(cmd::kFind);
        find_ = dlg_->GetFindDialog();
        ASSERT_NE(find_, nullptr);
    }
    void Find(const QString& text) {
        find_->findChild<QLineEdit*>()->setText(text);
        find_->ReadControls();
        dlg_->OnCommand(ID_FILTERDLG_FIND);
    }

    std::unique_ptr<CLogViewerDlg> dlg_;
    CLogFilterExDlg* find_ = nullptr;
};

TEST_F(ViewerFindProgress, AFindShowsItsProgressAndEndsAsBefore) {
    OpenLargeLog();
    const QString before = PaneText(*dlg_, 0);
    ASSERT_EQ(SearchingPercent(before), -1);

    // An absent text: every row is examined.
    {
        PaneWatch watch(*dlg_);
        Find(QStringLiteral("NoSuchTextInAnyRow-5c1e"));
        EXPECT_TRUE(ShowsProgress(watch.texts));
    }
    EXPECT_EQ(PaneText(*dlg_, 0), "Not found");

    // A text of the last row, searched from the top: found at the end of a long walk, after
    // which pane 0 reads what it read before the find.
    dlg_->GetList()->clearSelection();
    const int last = dlg_->GetList()->GetItemCount() - 1;
    std::u16string wanted;
    ASSERT_TRUE(dlg_->GetLog().GetCellText(last, 2, wanted));
    ASSERT_FALSE(wanted.empty());
    dlg_->OnCommand(cmd::kFind);  // a command clears the "Not found" of the last find
    {
        PaneWatch watch(*dlg_);
        Find(QString::fromStdU16String(wanted));
        EXPECT_FALSE(watch.texts.empty());
        for (const QString& text : watch.texts) EXPECT_GE(SearchingPercent(text), 0) << text.toStdString();
    }
    ASSERT_EQ(dlg_->GetList()->GetSelectedPositions().size(), 1u);
    EXPECT_EQ(PaneText(*dlg_, 0), before);
}

TEST_F(ViewerFindProgress, StopSaysTheSearchStoppedAndTheTextStays) {
    OpenLargeLog();
    int stoppedAt = -1;
    {
        // Once the find is under way the user presses Stop, the button that Find became.
        PaneWatch watch(*dlg_, [&](const QString& text) {
            const int percent = SearchingPercent(text);
            if (stoppedAt < 0 && percent > 0) {
                stoppedAt = percent;
                for (QPushButton* b : find_->findChildren<QPushButton*>()) {
                    if (b->text() == QStringLiteral("&Stop")) b->click();
                }
            }
        });
        Find(QStringLiteral("NoSuchTextInAnyRow-5c1e"));
    }
    ASSERT_GT(stoppedAt, 0) << "the find never showed its progress";
    EXPECT_LT(stoppedAt, 100);
    EXPECT_TRUE(dlg_->GetLog().IsFindCancelled()) << "the Stop button did not reach the find";
    EXPECT_EQ(PaneText(*dlg_, 0), "Search stopped");
    EXPECT_LT(dlg_->GetLog().GetFindProgress(), 100);
    QTest::qWait(250);  // the progress timer leaves it while nothing loads
    EXPECT_EQ(PaneText(*dlg_, 0), "Search stopped");
}

}  // namespace
}  // namespace korv::test
