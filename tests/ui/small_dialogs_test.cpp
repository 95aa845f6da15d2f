#include "test_support/qt_environment.h"

#include "resources/ids.h"
#include "ui/help_window.h"
#include "ui/small_dialogs.h"
#include "ui/time_zone_dlg.h"
#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <optional>

namespace korv {
namespace {

TEST(TimeZone, ScanDecimalReadsLikePercentD) {
    const struct {
        const char* text;
        std::optional<int> value;
    } cases[] = {
        {"+3", 3}, {" -5", -5}, {"2h", 2}, {"15", 15}, {"-13", -13}, {"0", 0}, {"\t 14 ", 14},
        {"abc", std::nullopt}, {"", std::nullopt}, {"-", std::nullopt}, {"+ 3", std::nullopt},
        {"h2", std::nullopt}, {"99999999999", std::nullopt}, {"-2147483648", -2147483647 - 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ScanDecimal(c.text), c.value) << '"' << c.text << '"';
    }
}

struct TimeZoneRun {
    int result = -1;
    bool openAfterOk = false;  // still shown once OK (and any message box) returned
    QString selected;          // the field's selection then
    bool fieldFocused = false;
};

// Runs the dialog with `entry` typed into field 1022 and OK pressed; a
// dialog that stays open is looked at and then cancelled.
TimeZoneRun RunTimeZone(CTimeZone& dialog, const QString& entry) {
    TimeZoneRun run;
    QTimer::singleShot(0, &dialog, [&dialog, &run, entry] {
        auto* edit = FindControl<QLineEdit>(&dialog, ctrl::kUtcOffset);
        edit->setText(entry);
        FindControl<QPushButton>(&dialog, ctrl::kOk)->click();
        if (dialog.isVisible()) {
            run.openAfterOk = true;
            run.selected = edit->selectedText();
            run.fieldFocused = dialog.focusWidget() == edit;
            dialog.reject();
        }
    });
    run.result = dialog.exec();
    return run;
}

TEST(TimeZone, EntriesAcceptedOrRefused) {
    const struct {
        const char* entry;
        bool accepted;
        int offset;
    } cases[] = {
        {"+3", true, 3}, {" -5", true, -5}, {"2h", true, 2}, {"14", true, 14}, {"-12", true, -12},
        {"15", false, 0}, {"-13", false, 0}, {"abc", false, 0},
    };
    for (const auto& c : cases) {
        CTimeZone dialog;
        test::MessageBoxAnswerer answer;
        const TimeZoneRun run = RunTimeZone(dialog, c.entry);
        EXPECT_EQ(run.result, c.accepted ? QDialog::Accepted : QDialog::Rejected) << c.entry;
        EXPECT_EQ(dialog.UtcOffset(), c.offset) << c.entry;
        EXPECT_EQ(answer.shown > 0, !c.accepted) << c.entry;
        EXPECT_EQ(run.openAfterOk, !c.accepted) << c.entry;
        if (!c.accepted) {
            EXPECT_EQ(answer.text, "Wrong value!");
            EXPECT_EQ(answer.caption, "KORV Log Viewer");
            EXPECT_EQ(dialog.Text(), "0") << "the previous text is kept";
            // The wrong entry waits, selected, to be typed over.
            EXPECT_EQ(run.selected, QString::fromUtf8(c.entry)) << c.entry;
            EXPECT_TRUE(run.fieldFocused) << c.entry;
        }
    }
}

TEST(TimeZone, ShowsItsRangeWholeTitlesAndItsHelpTopic) {
    CTimeZone dialog;
    auto* range = dialog.findChild<QLabel*>(QStringLiteral("utcOffsetRange"));
    ASSERT_NE(range, nullptr);
    EXPECT_EQ(range->text(), QStringLiteral("(-12 to +14 hours)"));
    // Room for the title in the title bar's bold face, with the buttons beside it.
    QFont bold = dialog.font();
    bold.setBold(true);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Time zone setup"));
    EXPECT_GE(dialog.minimumWidth(), QFontMetrics(bold).horizontalAdvance(dialog.windowTitle()) + 100);
    // The refusal's box is as wide as its caption needs, though its text is short.
    test::MessageBoxAnswerer answer;
    RunTimeZone(dialog, QStringLiteral("99"));
    ASSERT_EQ(answer.shown, 1);
    EXPECT_GE(answer.width, QFontMetrics(bold).horizontalAdvance(answer.caption) + 100);
    // F1 opens the dialog's own topic.
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QApplication::setActiveWindow(&dialog);
    auto* field = FindControl<QLineEdit>(&dialog, ctrl::kUtcOffset);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F1);
    auto* window = dialog.findChild<HelpWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->ContextId(), help::kTimeZoneContext);
    EXPECT_TRUE(window->PlainText().startsWith(QStringLiteral("Time zone setup"))) << window->PlainText().left(40).toStdString();
    EXPECT_TRUE(window->PlainText().contains(QStringLiteral("-12 to +14")));
    dialog.reject();
}

TEST(TimeZone, WrongEntryKeepsPreviousValueForNextOpening) {
    CTimeZone dialog;
    test::MessageBoxAnswerer answer;
    ASSERT_EQ(RunTimeZone(dialog, "3").result, QDialog::Accepted);
    ASSERT_EQ(dialog.UtcOffset(), 3);
    ASSERT_EQ(answer.shown, 0);

    EXPECT_TRUE(RunTimeZone(dialog, "abc").openAfterOk);
    EXPECT_EQ(answer.shown, 1);
    EXPECT_EQ(answer.text, "Wrong value!");
    EXPECT_EQ(dialog.UtcOffset(), 3);
    EXPECT_EQ(dialog.Text(), "3");

    // The next opening shows the previous value; Cancel changes nothing.
    QString shown;
    QTimer::singleShot(0, &dialog, [&dialog, &shown] {
        shown = FindControl<QLineEdit>(&dialog, ctrl::kUtcOffset)->text();
        dialog.reject();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(shown, "3");
    EXPECT_EQ(dialog.UtcOffset(), 3);
}

TEST(AboutBox, TextsWithVersionYearAndBoldTitle) {
    CAboutDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "About KORV Log Viewer");
    auto* title = FindControl<QLabel>(&dialog, ctrl::kAboutTitle);
    auto* version = FindControl<QLabel>(&dialog, ctrl::kAboutVersion);
    auto* legal = FindControl<QLabel>(&dialog, ctrl::kAboutLegal);
    ASSERT_TRUE(title && version && legal);
    EXPECT_EQ(title->text(), "KORV Log Viewer");
    EXPECT_EQ(title->font().weight(), QFont::Bold);
    EXPECT_NE(dialog.font().weight(), QFont::Bold);
    EXPECT_EQ(version->text(), "Version 1.5.8.0");
    EXPECT_FALSE(legal->text().contains("{YEAR}"));
    const QString year = BuildYear();
    ASSERT_EQ(year.size(), 4);
    EXPECT_TRUE(legal->text().contains("-" + year + " ")) << legal->text().toStdString();
    EXPECT_NE(FindControl<QPushButton>(&dialog, ctrl::kOk), nullptr);
}

TEST(AboutBox, BuildYearFromDateText) {
    const struct {
        const char* date;
        const char* year;
    } cases[] = {{"Nov  3 2022", "2022"}, {"Dec 08 2026", "2026"}, {"2030", "2030"}, {"", ""}, {"Jan 1 1999 ", "1999"}};
    for (const auto& c : cases) {
        EXPECT_EQ(BuildYearFromDate(c.date), c.year) << c.date;
    }
}

TEST(ChangelogViewer, OpensAtTheEndWithNothingSelected) {
    CChangelogDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "KORV Log Viewer - Changelog");
    dialog.resize(400, 200);  // smaller than the text, so there is something to scroll
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QCoreApplication::processEvents();
    auto* text = FindControl<QPlainTextEdit>(&dialog, ctrl::kChangelogText);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_TRUE(text->toPlainText().startsWith("1.5.8.0\n- "));
    EXPECT_FALSE(text->toPlainText().contains('\r'));
    const QTextCursor cursor = text->textCursor();
    EXPECT_FALSE(cursor.hasSelection());
    EXPECT_TRUE(cursor.atEnd());
    QScrollBar* bar = text->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(text->hasFocus() || QApplication::focusWidget() == text);

    auto* close = FindControl<QPushButton>(&dialog, ctrl::kCancel);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close");
    close->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(LicenceViewer, ShowsTheRtfAtTheTopAndClosesWithId8) {
    CEulaDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "KORV Log Viewer - License Agreement");
    dialog.resize(400, 200);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QCoreApplication::processEvents();
    auto* text = FindControl<QTextEdit>(&dialog, ctrl::kEulaText);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->isReadOnly());
    const QString plain = text->toPlainText();
    EXPECT_TRUE(plain.startsWith(QString::fromUtf8("KORV Log Viewer \u2014 End User License Agreement")))
        << plain.left(60).toStdString();
    EXPECT_FALSE(plain.contains("Arial"));
    EXPECT_FALSE(plain.contains("\\par"));
    EXPECT_EQ(text->document()->firstBlock().begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_GT(text->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(text->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(text->textCursor().hasSelection());
    EXPECT_EQ(text->textCursor().position(), 0);

    auto* close = FindControl<QPushButton>(&dialog, ctrl::kEulaClose);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "Close");
    close->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(HelpWindow, ShowsTheTopicOfTheContextIdAndIsReused) {
    QWidget owner;
    const struct {
        std::uint32_t id;
        const char* heading;
    } cases[] = {{help::kFindContext, "Search in log"}, {help::kFilterContext, "Log filtering"}};
    HelpWindow* first = nullptr;
    for (const auto& c : cases) {
        HelpWindow* window = HelpWindow::ShowFor(&owner, c.id);
        ASSERT_NE(window, nullptr);
        if (!first) {
            first = window;
        }
        EXPECT_EQ(window, first) << "one help window per owner";
        EXPECT_EQ(window->ContextId(), c.id);
        EXPECT_TRUE(window->PlainText().startsWith(c.heading)) << window->PlainText().left(40).toStdString();
        EXPECT_TRUE(window->windowTitle().endsWith(c.heading));
        EXPECT_TRUE(window->isVisible());
    }
    HelpWindow* unknown = HelpWindow::ShowFor(&owner, 0x12345);
    EXPECT_TRUE(unknown->PlainText().contains("0x12345"));
}

TEST(HelpWindow, F1OpensTheTopicOfTheCurrentContext) {
    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    std::uint32_t context = help::kFindContext;
    HelpWindow::InstallHelpKey(dialog, [&context] { return context; });
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QApplication::setActiveWindow(&dialog);
    field->setFocus();
    for (std::uint32_t id : {help::kFindContext, help::kFilterContext}) {
        context = id;
        QTest::keyClick(field, Qt::Key_F1);
        auto* window = dialog.findChild<HelpWindow*>();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->ContextId(), id);
        EXPECT_TRUE(window->isVisible());
        QApplication::setActiveWindow(&dialog);
    }
}

}  // namespace
}  // namespace korv
