// The main window's menus: items and ids, the enable and check rules when a
// pop-up opens, the Logs and Language pop-ups, the context menus, and the
// settings kept when a log is closed.

#include "viewer_environment.h"

#include "resources/ids.h"
#include "ui/list_settings.h"
#include "ui/log_list_ctrl.h"
#include "ui/log_viewer_dlg.h"
#include "ui/log_viewer_dlg_detail.h"
#include "ui/menu_builder.h"
#include "ui/status_bar.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTest>

#include <map>

namespace korv::test {
namespace {

class ViewerMenus : public ::testing::Test {
protected:
    void SetUp() override { ClearViewerSettings(); }

    void Start(const QString& path = {}) {
        dlg_ = std::make_unique<CLogViewerDlg>();
        CCommandLineInfo request;
        if (!path.isEmpty()) {
            request = {CCommandLineInfo::FileOpen, path};
        }
        dlg_->SetStartupRequest(&request);
        dlg_->OnInitDialog();
        dlg_->SetStartupRequest(nullptr);
        dlg_->show();
    }
    // The pop-up of the menu bar with `title`, its state brought up to date
    // as when it opens.
    QMenu* Popup(const QString& title) {
        for (QAction* top : dlg_->GetMenuBar()->actions()) {
            if (top->menu() != nullptr && top->text() == title) {
                dlg_->UpdateMenuState(top->menu());
                return top->menu();
            }
        }
        ADD_FAILURE() << "no pop-up " << title.toStdString();
        return nullptr;
    }
    static std::map<int, QAction*> Items(QMenu* menu) {
        std::map<int, QAction*> items;
        for (QAction* a : menu->actions()) {
            if (const int id = CommandId(*a)) {
                items[id] = a;
            }
        }
        return items;
    }
    bool WaitRows(int visible, int total) {
        const QString want = QStringLiteral("Cnt: %1 of %2").arg(visible).arg(total);
        return WaitFor([&] { return dlg_->GetStatusBar()->PaneText(1) == want; });
    }
    std::string EventsLog(const std::string& dirName, int count) {
        const std::string path = FreshDir(dirName) + "/warnlog.dat";
        EXPECT_TRUE(RunWriter("append-json " + path, EventsJson(0, count)));
        return path;
    }

    std::unique_ptr<CLogViewerDlg> dlg_;
};

TEST_F(ViewerMenus, MenuBarWithoutDeleteItems) {
    Start();
    QStringList titles;
    for (QAction* top : dlg_->GetMenuBar()->actions()) {
        titles << top->text();
    }
    EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Logs", "F&ilter", "L&anguage", "&Help"}));
    EXPECT_EQ(FindCommandAction(*dlg_->GetMenuBar(), cmd::kDelete), nullptr);
    EXPECT_EQ(FindCommandAction(*dlg_->GetMenuBar(), cmd::kDeleteAll), nullptr);
    for (int id : {cmd::kOpenFile, cmd::kOpenDir, cmd::kExit, cmd::kCopy, cmd::kCopyAll, cmd::kSelectAll, cmd::kFind,
                   cmd::kFindNext, cmd::kFindPrev, cmd::kTimeZone, cmd::kViewNumber, cmd::kViewReset,
                   cmd::kFilterCritical, cmd::kFilterAdvanced, cmd::kAbout, cmd::kChangelog, cmd::kEula}) {
        EXPECT_NE(FindCommandAction(*dlg_->GetMenuBar(), id), nullptr) << id;
    }
}

TEST_F(ViewerMenus, EverythingGrayWithoutALog) {
    Start();
    for (const char* title : {"F&ilter", "&View"}) {
        for (QAction* a : Popup(title)->actions()) {
            if (!a->isSeparator()) {
                EXPECT_FALSE(a->isEnabled()) << title << " " << a->text().toStdString();
            }
        }
    }
    for (auto [id, action] : Items(Popup("&Edit"))) {
        EXPECT_FALSE(action->isEnabled()) << id;
    }
}

TEST_F(ViewerMenus, StatesWithALog) {
    Start(QString::fromStdString(EventsLog("menus", 5)));
    ASSERT_TRUE(WaitRows(5, 5));
    auto edit = Items(Popup("&Edit"));
    const std::map<int, bool> enabled = {{cmd::kCopy, false},      {cmd::kCopyAll, true},  {cmd::kSelectAll, true},
                                         {cmd::kFind, true},       {cmd::kFindNext, true}, {cmd::kFindPrev, true},
                                         {cmd::kTimeZone, true}};
    for (auto [id, want] : enabled) {
        ASSERT_EQ(edit.count(id), 1u) << id;
        EXPECT_EQ(edit[id]->isEnabled(), want) << id;
    }
    dlg_->OnCommand(cmd::kSelectAll);
    EXPECT_TRUE(Items(Popup("&Edit"))[cmd::kCopy]->isEnabled());

    auto view = Items(Popup("&View"));
    EXPECT_TRUE(view[cmd::kViewReset]->isEnabled());
    EXPECT_FALSE(view[cmd::kViewNumber]->isChecked());  // No. starts hidden
    EXPECT_TRUE(view[cmd::kViewType]->isChecked());
    EXPECT_TRUE(view[cmd::kViewAutoScroll]->isChecked());  // stored default 1
    dlg_->OnCommand(cmd::kViewNumber);
    dlg_->OnCommand(cmd::kViewAutoScroll);
    view = Items(Popup("&View"));
    EXPECT_TRUE(view[cmd::kViewNumber]->isChecked());
    EXPECT_FALSE(view[cmd::kViewAutoScroll]->isChecked());
    dlg_->OnCommand(cmd::kViewType);
    EXPECT_FALSE(Items(Popup("&View"))[cmd::kViewType]->isChecked());
    dlg_->OnCommand(cmd::kViewReset);
    view = Items(Popup("&View"));
    EXPECT_TRUE(view[cmd::kViewNumber]->isChecked());
    EXPECT_TRUE(view[cmd::kViewType]->isChecked());
    EXPECT_FALSE(view[cmd::kViewAutoScroll]->isChecked());
}

TEST_F(ViewerMenus, FilterChecksAndRows) {
    Start(QString::fromStdString(EventsLog("filter", 5)));
    ASSERT_TRUE(WaitRows(5, 5));
    const struct {
        int command;  // 0: none, the state after opening
        bool all, none, warning;
        int visible;
    } steps[] = {
        {0, true, false, true, 5},
        {cmd::kFilterWarning, false, false, false, 0},
        {cmd::kFilterSelectAll, true, false, true, 5},
        {cmd::kFilterSelectNone, false, true, false, 0},
        {cmd::kFilterCritical, false, false, false, 0},
        {cmd::kFilterWarning, false, false, true, 5},
    };
    for (const auto& s : steps) {
        if (s.command != 0) {
            dlg_->OnCommand(s.command);
        }
        auto filter = Items(Popup("F&ilter"));
        EXPECT_TRUE(filter[cmd::kFilterCritical]->isEnabled());
        EXPECT_EQ(filter[cmd::kFilterSelectAll]->isChecked(), s.all) << s.command;
        EXPECT_EQ(filter[cmd::kFilterSelectNone]->isChecked(), s.none) << s.command;
        EXPECT_EQ(filter[cmd::kFilterWarning]->isChecked(), s.warning) << s.command;
        EXPECT_FALSE(filter[cmd::kFilterDeleted]->isChecked());
        EXPECT_TRUE(WaitRows(s.visible, 5)) << s.command;
        EXPECT_EQ(dlg_->GetList()->GetItemCount(), s.visible);
    }
}

TEST_F(ViewerMenus, LogsMenuListsReportedKindsAndChecksBareNames) {
    Start();
    QMenu* logs = dlg_->GetLogsMenu();
    ASSERT_NE(logs, nullptr);
    std::vector<std::pair<int, QString>> items;
    for (QAction* a : logs->actions()) {
        items.emplace_back(CommandId(*a), a->text());
    }
    // The service reports type ids 1 and 2; the MAC variants stay out.
    const std::vector<std::pair<int, QString>> want = {{cmd::kLogsFirst + 5, "Detections"},
                                                       {cmd::kLogsFirst + 7, "Events"}};
    EXPECT_EQ(items, want);

    ASSERT_TRUE(RunWriter("append-json " + LogsDir() + "warnlog.dat", EventsJson(0, 3)));
    dlg_->OnCommand(cmd::kLogsFirst + 7);
    ASSERT_TRUE(dlg_->GetLog().IsOpen());
    EXPECT_TRUE(dlg_->GetLog().IsRelative());
    EXPECT_TRUE(WaitRows(3, 3));
    EXPECT_EQ(dlg_->windowTitle(), "KORV Log Viewer [1.5.8.0] - Events (warnlog.dat) ");
    auto checked = Items(Popup("&Logs"));
    EXPECT_TRUE(checked[cmd::kLogsFirst + 7]->isChecked());
    EXPECT_FALSE(checked[cmd::kLogsFirst + 5]->isChecked());

    // The item ticked is the log shown, however it was opened: the same file through
    // another spelling of its path, but not another file of that kind.
    ASSERT_TRUE(dlg_->OpenLog(QString::fromStdString(LogsDir() + "../Logs/./warnlog.dat")));
    checked = Items(Popup("&Logs"));
    EXPECT_TRUE(checked[cmd::kLogsFirst + 7]->isChecked());
    EXPECT_FALSE(checked[cmd::kLogsFirst + 5]->isChecked());
    ASSERT_TRUE(dlg_->OpenLog(QString::fromStdString(EventsLog("elsewhere", 2))));
    for (auto [id, action] : Items(Popup("&Logs"))) {
        EXPECT_FALSE(action->isChecked()) << id;
    }
    dlg_->CloseLog();
    dlg_->OnCommand(cmd::kLogsFirst + 7);
    EXPECT_TRUE(Items(Popup("&Logs"))[cmd::kLogsFirst + 7]->isChecked());
    dlg_->CloseLog();
    for (auto [id, action] : Items(Popup("&Logs"))) {
        EXPECT_FALSE(action->isChecked()) << "nothing shown, nothing ticked: " << id;
    }
}

TEST_F(ViewerMenus, LanguageMenuSortedAndSwitchingTitles) {
    Start(QString::fromStdString(EventsLog("language", 2)));
    ASSERT_TRUE(WaitRows(2, 2));
    QMenu* languages = dlg_->GetLanguageMenu();
    ASSERT_NE(languages, nullptr);
    QStringList names;
    for (QAction* a : languages->actions()) {
        names << a->text();
    }
    EXPECT_EQ(names, (QStringList{"Czech", "English", "German"}));
    auto items = Items(Popup("L&anguage"));
    EXPECT_TRUE(items[cmd::kLanguageFirst + 1]->isChecked());

    QAbstractItemModel* model = dlg_->GetList()->model();
    const QString english = model->headerData(1, Qt::Horizontal).toString();
    dlg_->OnCommand(cmd::kLanguageFirst + 2);
    const QString german = model->headerData(1, Qt::Horizontal).toString();
    EXPECT_NE(german, english);
    EXPECT_FALSE(german.isEmpty());
    EXPECT_TRUE(Items(Popup("L&anguage"))[cmd::kLanguageFirst + 2]->isChecked());
    dlg_->OnCommand(cmd::kLanguageFirst + 99);  // beyond the list: ignored
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), german);
    dlg_->OnCommand(cmd::kLanguageFirst + 1);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), english);
}

TEST_F(ViewerMenus, ContextMenusByViewMode) {
    const std::string path = EventsLog("context", 4);
    Start(QString::fromStdString(path));
    ASSERT_TRUE(WaitRows(4, 4));
    const auto ids = [](QMenu* m) {
        std::vector<int> v;
        for (QAction* a : m->actions()) {
            v.push_back(CommandId(*a));
        }
        return v;
    };
    auto list = dlg_->BuildListContextMenu();
    ASSERT_TRUE(list);
    EXPECT_EQ(ids(list.get()), (std::vector<int>{cmd::kCopy, cmd::kCopyAll, cmd::kCopyCell, cmd::kCopyMarked, 0,
                                                 cmd::kSelectAll, cmd::kToggleMark, 0, cmd::kFind, cmd::kExport,
                                                 cmd::kExportMarked}));
    EXPECT_FALSE(Items(list.get())[cmd::kCopyCell]->isEnabled());  // no cell right-clicked yet
    EXPECT_TRUE(Items(list.get())[cmd::kCopyAll]->isEnabled());
    // Marks: toggling needs a selection, the marked-only items a mark.
    EXPECT_FALSE(Items(list.get())[cmd::kToggleMark]->isEnabled());
    EXPECT_FALSE(Items(list.get())[cmd::kCopyMarked]->isEnabled());
    EXPECT_FALSE(Items(list.get())[cmd::kExportMarked]->isEnabled());
    dlg_->OnCommand(cmd::kSelectAll);
    dlg_->OnCommand(cmd::kToggleMark);
    list = dlg_->BuildListContextMenu();
    for (int id : {cmd::kToggleMark, cmd::kCopyMarked, cmd::kExportMarked}) {
        EXPECT_TRUE(Items(list.get())[id]->isEnabled()) << id;
    }

    CLogViewerDlgDetail record(dlg_.get());
    CCommandLineInfo request{CCommandLineInfo::FileOpen, QString::fromStdString(path) + ":2"};
    record.SetStartupRequest(&request);
    record.OnInitDialog();
    auto recordMenu = record.BuildListContextMenu();
    ASSERT_TRUE(recordMenu);
    EXPECT_EQ(ids(recordMenu.get()),
              (std::vector<int>{cmd::kCopy, cmd::kCopyAll, cmd::kCopyCell, 0, cmd::kSelectAll, 0, cmd::kFind}));
}

TEST_F(ViewerMenus, ListSettingsKeptAcrossCloseAndOpen) {
    const QString path = QString::fromStdString(EventsLog("settings", 5));
    Start(path);
    ASSERT_TRUE(WaitRows(5, 5));
    dlg_->OnCommand(cmd::kFilterError);
    dlg_->OnCommand(cmd::kViewAutoScroll);
    dlg_->CloseLog();
    {
        QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
        EXPECT_EQ(settings.value("warnlog/Filter").toUInt(), 0x17u);
        EXPECT_EQ(settings.value("warnlog/ListAutoScroll").toInt(), 0);
        EXPECT_FALSE(settings.value("warnlog/ListColWidth").toString().isEmpty());
    }
    ASSERT_TRUE(dlg_->OpenLog(path));
    EXPECT_EQ(dlg_->GetLog().GetFilter().m_nTypeMask, 0x17u);
    EXPECT_FALSE(dlg_->GetList()->m_bAutoScroll);
}

}  // namespace
}  // namespace korv::test
