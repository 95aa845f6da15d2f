#include "ui/log_filter_dlg.h"

#include "events_log.h"
#include "logmodel/filter_match.h"
#include "logmodel/log.h"
#include "resources/ids.h"
#include "ui/check_combo_box.h"
#include "ui/help_window.h"
#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QWhatsThis>

#include <atomic>
#include <ctime>

namespace korv {
namespace {

template <typename T>
T* Control(const QWidget& dlg, int id) {
    T* control = FindControl<T>(&dlg, id);
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

// A dialog filled as the main dialog fills it.
class FilterDialog : public ::testing::Test {
protected:
    void SetUp() override {
        FillColumnList(dlg, {QStringLiteral("Time"), QStringLiteral("Module"),
                             QStringLiteral("Event"), QStringLiteral("User")});
        FillTypeList(dlg);
    }
    QPushButton* Ok() { return Control<QPushButton>(dlg, ctrl::kOk); }
    CCheckComboBox* Columns() { return Control<CCheckComboBox>(dlg, ctrl::kFilterColumns); }
    CCheckComboBox* Types() { return Control<CCheckComboBox>(dlg, ctrl::kFilterTypes); }
    QComboBox* Period() { return Control<QComboBox>(dlg, ctrl::kFilterPeriod); }
    QCheckBox* Box(int id) { return Control<QCheckBox>(dlg, id); }

    CLogFilterExDlg dlg;
};

TEST_F(FilterDialog, Modes) {
    struct Case {
        int mode;
        const char* title;
        const char* ok;
        bool searchUp, showDeleted, defaultButton;
        std::uint32_t help;
    } cases[] = {
        {CLogFilterExDlg::kModeFind, "Search in log", "&Find", true, false, false, 0x60255},
        {CLogFilterExDlg::kModeSearching, "Search in log", "&Stop", true, false, false, 0x60256},
        {CLogFilterExDlg::kModeFilter, "Log filtering", "&OK", false, true, true, 0x60256},
    };
    dlg.show();
    for (const Case& c : cases) {
        dlg.SetMode(c.mode);
        EXPECT_EQ(dlg.GetMode(), c.mode);
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(c.title)) << c.mode;
        EXPECT_EQ(Ok()->text(), QString::fromUtf8(c.ok)) << c.mode;
        EXPECT_EQ(Box(ctrl::kFilterSearchUp)->isVisible(), c.searchUp) << c.mode;
        EXPECT_EQ(Box(ctrl::kFilterShowDeleted)->isVisible(), c.showDeleted) << c.mode;
        EXPECT_EQ(Control<QPushButton>(dlg, ctrl::kFilterDefault)->isVisible(), c.defaultButton);
        EXPECT_EQ(dlg.GetHelpContextId(), c.help) << c.mode;
    }
    dlg.SetMode(7);  // not a mode: ignored
    EXPECT_EQ(dlg.GetMode(), CLogFilterExDlg::kModeFilter);
    dlg.hide();
}

TEST_F(FilterDialog, ControlsAndLists) {
    struct Label {
        int id;
        const char* text;
    } labels[] = {
        {ctrl::kFilterWholeWords, "Mat&ch whole words only"},
        {ctrl::kFilterCaseSensitive, "&Case sensitive"},
        {ctrl::kFilterSearchUp, "&Search upwards"},
        {ctrl::kFilterShowDeleted, "Show &Deleted records"},
    };
    for (const Label& l : labels) {
        EXPECT_EQ(Box(l.id)->text(), QString::fromUtf8(l.text));
    }
    EXPECT_EQ(Control<QPushButton>(dlg, ctrl::kFilterDefault)->text(), QStringLiteral("&Default"));
    EXPECT_EQ(Control<QPushButton>(dlg, ctrl::kCancel)->text(), QStringLiteral("&Cancel"));

    const char* periods[] = {"Whole log", "Last day", "Last week", "Last month", "Time period"};
    ASSERT_EQ(Period()->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Period()->itemText(i), QString::fromUtf8(periods[i]));
        EXPECT_EQ(Period()->itemData(i).toUInt(), std::uint32_t(i) * 0x10);
    }
    const char* types[] = {"Diagnostic", "Information", "Warning", "Error", "Critical"};
    ASSERT_EQ(Types()->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Types()->itemText(i), QString::fromUtf8(types[i]));
        EXPECT_EQ(Types()->GetItemData(i) & CCheckComboBox::kValueMask, 1u << i);
    }
    ASSERT_EQ(Columns()->count(), 4);
    EXPECT_EQ(Columns()->GetItemData(3) & CCheckComboBox::kValueMask, 8u);

    // The lists are kept: filling again replaces rather than appends.
    FillTypeList(dlg);
    EXPECT_EQ(Types()->count(), 5);
}

// The date fields take every date the list can show: before 1970 and up to 9999.
TEST_F(FilterDialog, DateFieldsKeepEveryDateTheListShows) {
    const struct {
        int y, mo, d, h, mi, s;
    } bounds[][2] = {
        {{1601, 1, 1, 0, 0, 0}, {1969, 12, 31, 23, 59, 59}},
        {{1900, 2, 28, 12, 0, 0}, {9999, 12, 31, 23, 59, 59}},
    };
    for (const auto& b : bounds) {
        CLogFilterData in;
        in.m_nOptions = FILTER_PERIOD_RANGE;
        ASSERT_TRUE(MakeLocalTime(b[0].y, b[0].mo, b[0].d, b[0].h, b[0].mi, b[0].s, in.m_timeFrom));
        ASSERT_TRUE(MakeLocalTime(b[1].y, b[1].mo, b[1].d, b[1].h, b[1].mi, b[1].s, in.m_timeTo));
        dlg.SetCriteria(in);
        EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterFromDate)->date(), QDate(b[0].y, b[0].mo, b[0].d));
        EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterToDate)->date(), QDate(b[1].y, b[1].mo, b[1].d));
        dlg.ReadControls();
        EXPECT_EQ(dlg.GetCriteria().m_timeFrom, in.m_timeFrom) << b[0].y;
        EXPECT_EQ(dlg.GetCriteria().m_timeTo, in.m_timeTo) << b[1].y;
    }
    EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterFromDate)->minimumDate(), QDate(1601, 1, 1));
    EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterToDate)->maximumDate(), QDate(9999, 12, 31));
}

TEST_F(FilterDialog, DataInAndOut) {
    CLogFilterData in;
    in.m_strText = u"Needle";
    in.m_nOptions = FILTER_OPT_CASE | FILTER_PERIOD_RANGE;
    in.m_nColumnMask = 0x6;
    in.m_nTypeMask = 0x18 | FILTER_SHOW_DELETED;
    ASSERT_TRUE(MakeLocalTime(2024, 2, 29, 8, 30, 15, in.m_timeFrom));
    ASSERT_TRUE(MakeLocalTime(2024, 3, 1, 23, 0, 1, in.m_timeTo));
    dlg.SetCriteria(in);

    EXPECT_EQ(Control<QLineEdit>(dlg, ctrl::kFilterText)->text(), QStringLiteral("Needle"));
    EXPECT_TRUE(Box(ctrl::kFilterCaseSensitive)->isChecked());
    EXPECT_FALSE(Box(ctrl::kFilterWholeWords)->isChecked());
    EXPECT_TRUE(Box(ctrl::kFilterShowDeleted)->isChecked());
    EXPECT_EQ(Columns()->GetCheckedMask(), 0x6u);
    EXPECT_EQ(Types()->GetCheckedMask(), 0x18u);
    EXPECT_EQ(Period()->currentIndex(), 4);
    EXPECT_TRUE(Control<QDateEdit>(dlg, ctrl::kFilterFromDate)->isEnabled());
    EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterFromDate)->date(), QDate(2024, 2, 29));
    EXPECT_EQ(Control<QTimeEdit>(dlg, ctrl::kFilterFromTime)->time(), QTime(8, 30, 15));
    EXPECT_EQ(Control<QDateEdit>(dlg, ctrl::kFilterToDate)->date(), QDate(2024, 3, 1));
    EXPECT_EQ(Control<QTimeEdit>(dlg, ctrl::kFilterToTime)->time(), QTime(23, 0, 1));

    // Edit and read back.
    Box(ctrl::kFilterWholeWords)->setChecked(true);
    Box(ctrl::kFilterCaseSensitive)->setChecked(false);
    Control<QTimeEdit>(dlg, ctrl::kFilterToTime)->setTime(QTime(23, 59, 59));
    dlg.ReadControls();
    const CLogFilterData& out = dlg.GetCriteria();
    EXPECT_EQ(out.m_strText, u"Needle");
    EXPECT_EQ(out.m_nOptions, FILTER_OPT_WORDS | FILTER_PERIOD_RANGE);
    EXPECT_EQ(out.m_nColumnMask, 0x6u);
    EXPECT_EQ(out.m_nTypeMask, 0x18u | FILTER_SHOW_DELETED);
    EXPECT_EQ(out.m_timeFrom, in.m_timeFrom);
    EXPECT_EQ(out.m_timeTo, in.m_timeTo + 59 * 60 + 58);

    // In find mode 2512 is hidden, and its last state stays in the mask.
    dlg.SetMode(CLogFilterExDlg::kModeFind);
    dlg.ReadControls();
    EXPECT_EQ(dlg.GetCriteria().m_nTypeMask & FILTER_SHOW_DELETED, FILTER_SHOW_DELETED);
}

TEST_F(FilterDialog, LastDayShowsTodayInDisabledPickers) {
    CLogFilterData in;
    in.m_nOptions = FILTER_PERIOD_DAY;
    in.m_timeFrom = 0;  // a stale snapshot; the log's active filter holds today's bounds
    in.m_timeTo = 0;
    in.UpdateTimeRange();
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.SetCriteria(in);
    const std::tm now = LocalNow();
    const QDate today(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
    EXPECT_EQ(Period()->currentIndex(), 1);
    for (int id : {ctrl::kFilterFromDate, ctrl::kFilterToDate}) {
        EXPECT_FALSE(Control<QDateEdit>(dlg, id)->isEnabled());
        EXPECT_EQ(Control<QDateEdit>(dlg, id)->date(), today);
    }
    for (int id : {ctrl::kFilterFromTime, ctrl::kFilterToTime}) {
        EXPECT_FALSE(Control<QTimeEdit>(dlg, id)->isEnabled());
    }
    EXPECT_EQ(Control<QTimeEdit>(dlg, ctrl::kFilterFromTime)->time(), QTime(0, 0, 0));
    EXPECT_EQ(Control<QTimeEdit>(dlg, ctrl::kFilterToTime)->time(), QTime(23, 59, 59));

    // Choosing "Time period" enables them; any other period disables them again.
    Period()->setCurrentIndex(4);
    EXPECT_TRUE(Control<QDateEdit>(dlg, ctrl::kFilterFromDate)->isEnabled());
    Period()->setCurrentIndex(3);
    EXPECT_FALSE(Control<QTimeEdit>(dlg, ctrl::kFilterToTime)->isEnabled());
}

TEST_F(FilterDialog, LastWeekOkGivesTheCurrentWeekAfterSetFilter) {
    CLogFilterData in;
    ASSERT_TRUE(MakeLocalTime(2001, 5, 5, 0, 0, 0, in.m_timeFrom));
    ASSERT_TRUE(MakeLocalTime(2001, 5, 6, 0, 0, 0, in.m_timeTo));
    in.m_nOptions = FILTER_PERIOD_RANGE;
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.SetCriteria(in);
    Period()->setCurrentIndex(2);  // "Last week"
    QTest::mouseClick(Ok(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    // The bounds hold the pickers' values ...
    const CLogFilterData& read = dlg.GetCriteria();
    EXPECT_EQ(read.Period(), FILTER_PERIOD_WEEK);
    EXPECT_EQ(read.m_timeFrom, in.m_timeFrom);
    EXPECT_EQ(read.m_timeTo, in.m_timeTo);

    // ... and the log's filter shows the current week.
    CLog log;
    log.SetFilter(read);
    const std::tm now = LocalNow();
    std::int64_t today = 0;
    ASSERT_TRUE(MakeLocalTime(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, 0, 0, 0, today));
    const int weekday = now.tm_wday == 0 ? 7 : now.tm_wday;
    EXPECT_EQ(log.GetFilter().m_timeFrom, today - std::int64_t(weekday - 1) * 86400);
    EXPECT_EQ(log.GetFilter().m_timeTo, log.GetFilter().m_timeFrom + 604799);
    EXPECT_LE(log.GetFilter().m_timeFrom, std::int64_t(std::time(nullptr)));
    EXPECT_GE(log.GetFilter().m_timeTo, std::int64_t(std::time(nullptr)));
}

TEST_F(FilterDialog, DefaultChecksEverything) {
    CLogFilterData in;
    in.m_strText = u"x";
    in.m_nOptions = FILTER_OPT_CASE | FILTER_OPT_WORDS | FILTER_PERIOD_MONTH;
    in.m_nColumnMask = 0;
    in.m_nTypeMask = 0x1;
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.SetCriteria(in);
    Box(ctrl::kFilterSearchUp)->setChecked(true);
    QTest::mouseClick(Control<QPushButton>(dlg, ctrl::kFilterDefault), Qt::LeftButton);

    EXPECT_EQ(Types()->GetCheckedMask(), 0x1Fu);
    EXPECT_EQ(Columns()->GetCheckedMask(), 0xFu);
    EXPECT_TRUE(Box(ctrl::kFilterShowDeleted)->isChecked());
    EXPECT_FALSE(Box(ctrl::kFilterCaseSensitive)->isChecked());
    EXPECT_FALSE(Box(ctrl::kFilterWholeWords)->isChecked());
    EXPECT_TRUE(Control<QLineEdit>(dlg, ctrl::kFilterText)->text().isEmpty());
    EXPECT_EQ(Period()->currentIndex(), 0);
    EXPECT_TRUE(Box(ctrl::kFilterSearchUp)->isChecked());  // not a criterion: untouched
}

// The closed combos list their checked items; the POSIX locales of these
// tests name no list separator, so the names are joined with "; ".
TEST_F(FilterDialog, CombosJoinCheckedNamesWithTheFallbackSeparator) {
    CLogFilterData in;
    in.m_nColumnMask = 0x1 | 0x4;
    in.m_nTypeMask = 0x10 | 0x08 | 0x01;
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.SetCriteria(in);
    EXPECT_EQ(Columns()->GetWindowText(), QStringLiteral("Time; Event"));
    EXPECT_EQ(Types()->GetWindowText(), QStringLiteral("Diagnostic; Error; Critical"));
    Columns()->SetCheckedMask(0x2);
    EXPECT_EQ(Columns()->GetWindowText(), QStringLiteral("Module"));
}

TEST_F(FilterDialog, RegexBoxIsReadAndWrittenWithTheCriteria) {
    const struct {
        std::uint32_t in;  // options handed in
        bool box;          // the box's state after SetCriteria
        bool setBox;       // the box's state before the controls are read back
    } cases[] = {
        {0, false, true},
        {FILTER_OPT_REGEX, true, false},
        {FILTER_OPT_REGEX | FILTER_OPT_CASE | FILTER_OPT_WORDS, true, true},
        {FILTER_OPT_CASE | FILTER_PERIOD_MONTH, false, false},
    };
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    for (const auto& c : cases) {
        CLogFilterData in;
        in.m_strText = u"^a+";
        in.m_nOptions = c.in;
        dlg.SetCriteria(in);
        EXPECT_EQ(Box(ctrl::kFilterRegex)->isChecked(), c.box) << c.in;
        // The other two options keep their own boxes.
        EXPECT_EQ(Box(ctrl::kFilterCaseSensitive)->isChecked(), (c.in & FILTER_OPT_CASE) != 0) << c.in;
        EXPECT_EQ(Box(ctrl::kFilterWholeWords)->isChecked(), (c.in & FILTER_OPT_WORDS) != 0) << c.in;
        Box(ctrl::kFilterRegex)->setChecked(c.setBox);
        dlg.ReadControls();
        const std::uint32_t expect = (c.in & ~FILTER_OPT_REGEX) | (c.setBox ? FILTER_OPT_REGEX : 0);
        EXPECT_EQ(dlg.GetCriteria().m_nOptions, expect) << c.in;
    }
    // Default clears it with the other options.
    QTest::mouseClick(Control<QPushButton>(dlg, ctrl::kFilterDefault), Qt::LeftButton);
    EXPECT_FALSE(Box(ctrl::kFilterRegex)->isChecked());
}

TEST_F(FilterDialog, RegexAcceleratorIsTheOnlyOneOnItsLetter) {
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    QStringList texts;
    for (const QAbstractButton* button : dlg.findChildren<QAbstractButton*>()) texts << button->text();
    for (const QLabel* label : dlg.findChildren<QLabel*>()) texts << label->text();
    texts << QStringLiteral("&Find") << QStringLiteral("&Stop");  // the OK button's other texts
    EXPECT_EQ(Box(ctrl::kFilterRegex)->text(), QStringLiteral("Re&gular expression"));
    int onG = 0;
    for (const QString& text : texts) {
        const int amp = text.indexOf(QLatin1Char('&'));
        if (amp >= 0 && amp + 1 < text.size() && text[amp + 1].toLower() == QLatin1Char('g')) ++onG;
    }
    EXPECT_EQ(onG, 1) << texts.join(QStringLiteral(" | ")).toStdString();
}

// A pattern RE2 refuses, or one past the bounds of a search's cost: the dialog says why and
// keeps everything the user typed; once the pattern is mended, OK goes through.
TEST_F(FilterDialog, InvalidPatternKeepsTheDialogOpen) {
    // `count` alternatives ".*x0001.*y|.*x0002.*y|...".
    const auto alternatives = [](int count) {
        QStringList items;
        for (int i = 1; i <= count; ++i) items << QStringLiteral(".*x%1.*y").arg(i, 4, 10, QLatin1Char('0'));
        return items.join(QLatin1Char('|'));
    };
    const struct {
        int mode;
        QString bad, reason, good;
        bool words;
    } cases[] = {
        {CLogFilterExDlg::kModeFilter, QStringLiteral("(abc"), QStringLiteral("missing )"),
         QStringLiteral("(abc)"), false},
        {CLogFilterExDlg::kModeFind, QStringLiteral("[a-"), QStringLiteral("missing ]"),
         QStringLiteral("[a-z]"), false},
        // Whole words wrap the pattern; the stray parenthesis must still be refused.
        {CLogFilterExDlg::kModeFind, QStringLiteral("a)|(b"), QStringLiteral("unexpected )"),
         QStringLiteral("a|b"), true},
        {CLogFilterExDlg::kModeFilter, alternatives(1000),
         QStringLiteral("pattern too long (10999 characters, at most 4000)"), alternatives(200), false},
        {CLogFilterExDlg::kModeFind, QStringLiteral("\\pL{8}"), QStringLiteral("pattern too complex ("),
         QStringLiteral("\\pL{2}"), true},
    };
    for (const auto& c : cases) {
        CLogFilterExDlg d;
        FillColumnList(d, {QStringLiteral("Time"), QStringLiteral("Event")});
        FillTypeList(d);
        d.SetMode(c.mode);
        CLogFilterData in;
        in.m_strText = u"before";
        d.SetCriteria(in);
        int finds = 0;
        QObject::connect(&d, &CLogFilterExDlg::filterCommand, [&](int id) {
            if (id == ID_FILTERDLG_FIND) ++finds;
        });
        d.show();
        auto* text = Control<QLineEdit>(d, ctrl::kFilterText);
        text->setText(c.bad);
        Control<QCheckBox>(d, ctrl::kFilterRegex)->setChecked(true);
        Control<QCheckBox>(d, ctrl::kFilterWholeWords)->setChecked(c.words);

        QString shown;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            shown = box->text();
            box->accept();
        });
        QTest::mouseClick(Control<QPushButton>(d, ctrl::kOk), Qt::LeftButton);
        EXPECT_TRUE(shown.contains(QStringLiteral("not valid")) && shown.contains(c.reason))
            << shown.toStdString();
        EXPECT_TRUE(d.isVisible()) << c.mode;
        EXPECT_EQ(d.result(), QDialog::Rejected) << c.mode;
        EXPECT_EQ(finds, 0) << c.mode;
        EXPECT_EQ(text->text(), c.bad);
        EXPECT_TRUE(Control<QCheckBox>(d, ctrl::kFilterRegex)->isChecked());
        EXPECT_EQ(d.GetCriteria().m_strText, u"before") << "the controls were not read back";

        text->setText(c.good);
        QTest::mouseClick(Control<QPushButton>(d, ctrl::kOk), Qt::LeftButton);
        EXPECT_EQ(d.GetCriteria().m_strText, c.good.toStdU16String());
        EXPECT_TRUE(d.GetCriteria().m_nOptions & FILTER_OPT_REGEX);
        if (c.mode == CLogFilterExDlg::kModeFilter) {
            EXPECT_EQ(d.result(), QDialog::Accepted);
        } else {
            EXPECT_EQ(finds, 1);
        }
        d.hide();
    }
}

TEST_F(FilterDialog, NoColumnCheckedMakesTheTextInactive) {
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.SetCriteria(CLogFilterData());
    Control<QLineEdit>(dlg, ctrl::kFilterText)->setText(QStringLiteral("alpha"));
    Columns()->SetCheckedMask(0);
    dlg.ReadControls();
    EXPECT_EQ(dlg.GetCriteria().m_strText, u"alpha");
    EXPECT_EQ(dlg.GetCriteria().m_nColumnMask, 0u);
    EXPECT_FALSE(TextCriterionActive(dlg.GetCriteria()));
    // A row with no column text at all still passes: the text test is off.
    EXPECT_TRUE(MatchRow(dlg.GetCriteria(), 0, 0x20000000, 0,
                         [](const std::vector<std::u16string>*&) { return false; }));
}

TEST_F(FilterDialog, FindWindowCancelOnlyHides) {
    dlg.SetCriteria(CLogFilterData());
    dlg.show();
    Control<QLineEdit>(dlg, ctrl::kFilterText)->setText(QStringLiteral("kept"));
    QTest::mouseClick(Control<QPushButton>(dlg, ctrl::kCancel), Qt::LeftButton);
    EXPECT_FALSE(dlg.isVisible());
    dlg.show();
    EXPECT_EQ(Control<QLineEdit>(dlg, ctrl::kFilterText)->text(), QStringLiteral("kept"));
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), Control<QLineEdit>(dlg, ctrl::kFilterText));
    dlg.hide();
}

TEST_F(FilterDialog, HelpKeyOpensTheModesTopic) {
    dlg.SetMode(CLogFilterExDlg::kModeFilter);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QTest::keyClick(&dlg, Qt::Key_F1);
    auto* help = dlg.findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->ContextId(), 0x60256u);
    help->close();
    dlg.hide();
}

// The platform reports the title bar's help button to the application,
// which would put every window into What's-This mode.
TEST_F(FilterDialog, HelpButtonOpensTheTopicAndLeavesNoWhatsThisMode) {
    dlg.SetMode(CLogFilterExDlg::kModeFind);
    dlg.move(150, 120);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QEvent helpButton(QEvent::EnterWhatsThisMode);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &helpButton);
    const bool whatsThis = QWhatsThis::inWhatsThisMode();
    QWhatsThis::leaveWhatsThisMode();
    EXPECT_FALSE(whatsThis);
    auto* help = dlg.findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->ContextId(), 0x60255u);
    // Centred on the dialog, not in the screen's corner.
    const QPoint offCentre = help->frameGeometry().center() - dlg.frameGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << offCentre.x() << "," << offCentre.y();
    help->close();
    dlg.hide();
}

// Enter starts a search; Enter while "&Stop" shows stops it. The search is
// the circular one the log runs, pumping events every 1000 rows.
TEST_F(FilterDialog, EnterStartsAndEnterStops) {
    dlg.SetCriteria(CLogFilterData());
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* text = Control<QLineEdit>(dlg, ctrl::kFilterText);
    text->setFocus();
    text->setText(QStringLiteral("needle"));

    std::vector<int> commands;
    std::atomic<bool> cancel{false};
    int examined = 0;
    int result = 0;
    std::u16string searched;
    QObject::connect(&dlg, &CLogFilterExDlg::filterCommand, [&](int id) {
        commands.push_back(id);
        if (id == ID_FILTERDLG_STOP) {
            cancel = true;
            return;
        }
        searched = dlg.GetCriteria().m_strText;
        cancel = false;
        // The second Enter arrives while the search runs.
        QCoreApplication::postEvent(text, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, {}));
        result = SearchWithDialog(&dlg, [&] {
            EXPECT_EQ(Ok()->text(), QStringLiteral("&Stop"));
            return CircularFind(
                1'000'000, -1, false, [&](int) { ++examined; return false; }, PumpUiEvents,
                cancel);
        });
    });

    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(commands, (std::vector<int>{ID_FILTERDLG_FIND, ID_FILTERDLG_STOP}));
    EXPECT_EQ(searched, u"needle");
    EXPECT_EQ(result, -1);
    EXPECT_LT(examined, 1'000'000);  // stopped, not run to the end
    EXPECT_EQ(dlg.GetMode(), CLogFilterExDlg::kModeFind);
    EXPECT_EQ(Ok()->text(), QStringLiteral("&Find"));
    EXPECT_TRUE(dlg.isVisible());  // Find keeps the window open
    dlg.hide();
}

TEST(FilterDialogModal, EditFilterCriteria) {
    struct Case {
        bool ok;
        bool changed;
    } cases[] = {{true, true}, {false, false}};
    for (const Case& c : cases) {
        CLogFilterData criteria;
        criteria.m_nTypeMask = 31;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<CLogFilterExDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(dlg->GetMode(), CLogFilterExDlg::kModeFilter);
            FindControl<QCheckBox>(dlg, ctrl::kFilterShowDeleted)->setChecked(true);
            FindControl<QPushButton>(dlg, c.ok ? ctrl::kOk : ctrl::kCancel)->click();
        });
        const bool accepted = EditFilterCriteria(nullptr, {QStringLiteral("Time")}, criteria);
        EXPECT_EQ(accepted, c.ok);
        EXPECT_EQ(criteria.m_nTypeMask, c.changed ? 31u | FILTER_SHOW_DELETED : 31u);
    }
}

// The find window over a real log: Find searches with the dialog's criteria,
// and Enter pressed while the search runs stops FindRecord.
class FindInLog : public test::EventsLogTest {};

TEST_F(FindInLog, FindAndStopThroughFindRecord) {
    CLog& log = Open({{0x20000000, u"alpha"}, {0x20000000, u"Needle"}, {0x20000000, u"gamma"}});
    log.SetFindPump(PumpUiEvents);
    CLogFilterExDlg dlg;
    std::vector<QString> titles;
    for (const HDR_INFO& column : log.GetHeader().m_columns) {
        titles.push_back(QString::fromStdU16String(column.name));
    }
    FillColumnList(dlg, titles);
    FillTypeList(dlg);
    CLogFilterData all;
    dlg.SetCriteria(all);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* text = FindControl<QLineEdit>(&dlg, ctrl::kFilterText);
    ASSERT_NE(text, nullptr);
    text->setFocus();
    text->setText(QStringLiteral("needle"));  // not case-sensitive

    bool stopDuringSearch = false;
    int found = -2;
    std::vector<int> commands;
    QObject::connect(&dlg, &CLogFilterExDlg::filterCommand, [&](int id) {
        commands.push_back(id);
        if (id == ID_FILTERDLG_STOP) {
            log.CancelFind();
            return;
        }
        const CLogFilterData criteria = dlg.GetCriteria();
        if (stopDuringSearch) {
            QCoreApplication::postEvent(text, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, {}));
        }
        found = SearchWithDialog(&dlg, [&] {
            return log.FindRecord(criteria, -1, dlg.GetSearchUp() != 0);
        });
    });

    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(found, 1);  // newest first: gamma, Needle, alpha
    EXPECT_EQ(commands, std::vector<int>{ID_FILTERDLG_FIND});

    stopDuringSearch = true;
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(found, -1);
    EXPECT_EQ(commands, (std::vector<int>{ID_FILTERDLG_FIND, ID_FILTERDLG_FIND, ID_FILTERDLG_STOP}));
    EXPECT_EQ(dlg.GetMode(), CLogFilterExDlg::kModeFind);

    // The column combo left empty turns the text test off: every row matches,
    // so the search moves to the first row.
    FindControl<CCheckComboBox>(&dlg, ctrl::kFilterColumns)->SetCheckedMask(0);
    stopDuringSearch = false;
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(found, 0);
    dlg.hide();
}

}  // namespace
}  // namespace korv
