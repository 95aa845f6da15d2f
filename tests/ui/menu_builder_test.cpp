#include "resources/ids.h"
#include "resources/string_table.h"
#include "ui/menu_builder.h"
#include "ui/ui_text.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>

#include <vector>

namespace korv {
namespace {

TEST(MenuBuilder, MenuBarCarriesIdsAndTexts) {
    QWidget window;
    auto* bar = new QMenuBar(&window);
    BuildMenuBar(*bar, res::kMenuMain);
    QStringList top;
    for (QAction* action : bar->actions()) {
        top << action->text();
    }
    EXPECT_EQ(top, (QStringList{"&File", "&Edit", "&View", "&Logs", "F&ilter", "L&anguage", "&Help"}));
    const struct {
        int id;
        const char* text;
    } cases[] = {{cmd::kCopy, "&Copy\tCtrl+C"}, {cmd::kFindPrev, "Find Prev\tShift+F3"},
                 {cmd::kFilterDeleted, "De&leted"}, {cmd::kLogsFirst, "&Logs"},
                 {cmd::kLanguageFirst, "L&anguage"}, {cmd::kEula, "&Eula"}};
    for (const auto& c : cases) {
        QAction* action = FindCommandAction(*bar, c.id);
        ASSERT_NE(action, nullptr) << c.id;
        EXPECT_EQ(action->text(), c.text);
        EXPECT_EQ(CommandId(*action), c.id);
    }
    EXPECT_EQ(FindCommandAction(*bar, cmd::kCopyCell), nullptr);
    QMenu* filter = bar->actions()[4]->menu();
    ASSERT_NE(filter, nullptr);
    int separators = 0;
    for (QAction* action : filter->actions()) {
        separators += action->isSeparator() ? 1 : 0;
        EXPECT_EQ(CommandId(*action) == 0, action->isSeparator());
    }
    EXPECT_EQ(separators, 3);
}

TEST(MenuBuilder, ContextMenusByViewMode) {
    QWidget owner;
    QMenu* list = BuildContextMenu(res::kMenuContextList, &owner);
    QMenu* record = BuildContextMenu(res::kMenuContextRecord, &owner);
    ASSERT_TRUE(list && record);
    std::vector<int> listIds;
    for (QAction* a : list->actions()) {
        listIds.push_back(CommandId(*a));
    }
    EXPECT_EQ(listIds, (std::vector<int>{57634, 32820, 32819, 32830, 32821, 32822, 0, 57642, 32826, 0, 57636, 32833, 32831}));
    EXPECT_EQ(FindCommandAction(*record, cmd::kExport), nullptr);
    EXPECT_NE(FindCommandAction(*record, cmd::kCopyCell), nullptr);
    EXPECT_EQ(BuildContextMenu(999, &owner), nullptr);
}

TEST(MenuBuilder, AcceleratorsOnlyInTheirWindow) {
    QWidget window;
    auto* field = new QLineEdit(&window);
    (new QVBoxLayout(&window))->addWidget(field);
    std::vector<int> commands;
    const auto shortcuts = InstallAccelerators(window, res::kAcceleratorsMain, [&](int id) { commands.push_back(id); });
    EXPECT_EQ(shortcuts.size(), 9);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_F3);
    QTest::keyClick(field, Qt::Key_F3, Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(field, Qt::Key_F2, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_F2);
    QTest::keyClick(field, Qt::Key_F2, Qt::ShiftModifier);
    EXPECT_EQ(commands, (std::vector<int>{cmd::kFindNext, cmd::kFindPrev, cmd::kFilterAdvanced, cmd::kToggleMark,
                                          cmd::kNextMark, cmd::kPrevMark}));

    // A dialog of the window, such as the find window, does not get them.
    QDialog dialog(&window);
    auto* dialogField = new QLineEdit(&dialog);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QApplication::setActiveWindow(&dialog);
    ASSERT_EQ(QApplication::activeWindow(), &dialog);
    dialogField->setFocus();
    commands.clear();
    QTest::keyClick(dialogField, Qt::Key_F3);
    EXPECT_TRUE(commands.empty());
}

TEST(UiText, FormatsStringTableEntries) {
    EXPECT_EQ(FormatQString(str::kFmtCount, {std::int64_t{3}, std::int64_t{10}}), "Cnt: 3 of 10");
    EXPECT_EQ(FormatQString(str::kTitleWithLog, {std::string("a"), std::string("b")}),
              "KORV Log Viewer [{VERSION}] - a (b) ");
    EXPECT_EQ(LoadQString(str::kColumnNumber), "No.");
    EXPECT_TRUE(LoadQString(1).isEmpty());
}

}  // namespace
}  // namespace korv
