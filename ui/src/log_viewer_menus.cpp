// The main window's menu bar with its two pop-ups built at run time, the
// list's context menus, and the enable and check rules applied each time a
// pop-up opens.

#include "ui/log_viewer_dlg.h"

#include "logmodel/log_type.h"
#include "product/module_manager.h"
#include "product/module_requests.h"
#include "resources/ids.h"
#include "ui/commands.h"
#include "ui/log_list_ctrl.h"
#include "ui/timeline_strip.h"
#include "ui/menu_builder.h"
#include "ui/ui_text.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <filesystem>
#include <system_error>

namespace {

constexpr const char* kLanguageIdProperty = "korvLanguageId";

// The viewer never changes a log, so the two delete items would do nothing.
void DropDeleteItems(QWidget& root) {
    for (int id : {korv::cmd::kDelete, korv::cmd::kDeleteAll}) {
        // Deleting an action takes it out of every menu that shows it.
        while (QAction* action = korv::FindCommandAction(root, id)) {
            delete action;
        }
    }
}

bool Contains(const QMenu& menu, int id) {
    for (const QAction* action : menu.actions()) {
        if (korv::CommandId(*action) == id) {
            return true;
        }
    }
    return false;
}

// Puts `popup` in place of the command item `id` of the menu bar, with that
// item's text.
void ReplaceWithPopup(QMenuBar& bar, int id, QMenu* popup) {
    QAction* item = korv::FindCommandAction(bar, id);
    if (item == nullptr) {
        return;
    }
    popup->setTitle(item->text());
    bar.insertMenu(item, popup);
    bar.removeAction(item);
    delete item;
}

// The Logs menu's table index of the log shown: the item it was opened from
// (`openedProduct`), or for a log opened by path the item naming that very file or
// directory; -1 for none.
int ShownProductLog(const CLog& log, int openedProduct, const QMenu& logsMenu) {
    if (!log.IsOpen()) {
        return -1;
    }
    if (openedProduct >= 0) {
        return openedProduct;
    }
    // Opened by path: the item whose log is that very file or directory. Kinds share type
    // ids (every scan directory has none), so the type alone cannot tell.
    const auto table = nsLog::GetLogTable();
    if (!table) {
        return -1;
    }
    const std::filesystem::path shown = log.GetDisplayPath(false);
    for (const QAction* action : logsMenu.actions()) {
        const int index = korv::CommandId(*action) - korv::cmd::kLogsFirst;
        if (index < 0 || index >= static_cast<int>(table->size())) {
            continue;
        }
        const std::string path = nsLog::ResolveLogPath((*table)[static_cast<size_t>(index)].m_strFileName);
        std::error_code ec;
        if (!path.empty() && std::filesystem::equivalent(path, shown, ec)) {
            return index;
        }
    }
    return -1;
}

}  // namespace

void CLogViewerDlg::BuildMenus() {
    m_pMenuBar = new QMenuBar(this);
    korv::BuildMenuBar(*m_pMenuBar, korv::res::kMenuMain);
    DropDeleteItems(*m_pMenuBar);
    BuildLogsMenu();
    BuildLanguageMenu();
    for (QAction* top : m_pMenuBar->actions()) {
        if (QMenu* popup = top->menu()) {
            connect(popup, &QMenu::aboutToShow, this, [this, popup] { UpdateMenuState(popup); });
            connect(popup, &QMenu::triggered, this, [this](QAction* action) {
                if (const int id = korv::CommandId(*action)) {
                    OnCommand(id);
                }
            });
        }
    }
}

void CLogViewerDlg::BuildLogsMenu() {
    m_pLogsMenu = new QMenu(this);
    if (const auto table = nsLog::GetLogTable()) {
        for (const korv::LogsMenuItem& item :
             korv::BuildLogsMenuItems(*table, korv::cmd::kLogsLast - korv::cmd::kLogsFirst + 1)) {
            QAction* action = m_pLogsMenu->addAction(item.text);
            action->setData(korv::cmd::kLogsFirst + item.index);
            action->setCheckable(true);
        }
    }
    ReplaceWithPopup(*m_pMenuBar, korv::cmd::kLogsFirst, m_pLogsMenu);
}

void CLogViewerDlg::BuildLanguageMenu() {
    m_pLanguageMenu = new QMenu(this);
    const int count = std::min<int>(static_cast<int>(m_languages.size()),
                                    korv::cmd::kLanguageLast - korv::cmd::kLanguageFirst + 1);
    for (int k = 0; k < count; ++k) {
        const korv::LanguageEntry& entry = m_languages[static_cast<size_t>(k)];
        QAction* action = m_pLanguageMenu->addAction(QString::fromStdU16String(entry.name));
        action->setData(korv::cmd::kLanguageFirst + k);
        action->setProperty(kLanguageIdProperty, static_cast<uint>(entry.id));
        action->setCheckable(true);
    }
    ReplaceWithPopup(*m_pMenuBar, korv::cmd::kLanguageFirst, m_pLanguageMenu);
}

korv::EditMenuFacts CLogViewerDlg::EditFacts() const {
    korv::EditMenuFacts facts;
    facts.itemCount = m_pList ? m_pList->GetItemCount() : 0;
    facts.selection = m_pList && m_pList->HasSelection() != 0;
    facts.product = m_log.IsOpen() && m_log.IsRelative();
    facts.searchable = m_log.IsDecodable();
    facts.clickedCell = m_nClickRow != -1 && m_nClickColumn != -1;
    facts.markable = CanMark();
    facts.marks = m_marks.Size();
    return facts;
}

void CLogViewerDlg::UpdateMenuState(QMenu* popup) {
    if (popup == nullptr) {
        return;
    }
    const bool open = m_log.IsOpen();
    if (Contains(*popup, korv::cmd::kFilterCritical)) {
        const std::uint32_t mask = open ? m_log.GetFilter().m_nTypeMask : 0;
        for (QAction* action : popup->actions()) {
            action->setEnabled(open);
            const int id = korv::CommandId(*action);
            if (id == 0 || id == korv::cmd::kFilterAdvanced) {
                continue;
            }
            action->setCheckable(true);
            action->setChecked(open && korv::FilterItemChecked(id, mask));
        }
    } else if (popup == m_pLogsMenu || Contains(*popup, korv::cmd::kLogsFirst)) {
        const int shown = ShownProductLog(m_log, m_nOpenedProduct, *popup);
        for (QAction* action : popup->actions()) {
            action->setChecked(shown >= 0 && korv::CommandId(*action) - korv::cmd::kLogsFirst == shown);
        }
    } else if (Contains(*popup, korv::cmd::kCopy)) {
        const korv::EditMenuFacts facts = EditFacts();
        for (QAction* action : popup->actions()) {
            if (const auto enabled = korv::EditItemEnabled(korv::CommandId(*action), facts)) {
                action->setEnabled(*enabled);
            }
        }
    } else if (popup == m_pLanguageMenu) {
        std::uint32_t current = 1033;
        if (const auto instance = korv::SecondInterfaceHolder().CurrentInstance()) {
            korv::RequestGetLanguage(instance.get(), current);
        }
        for (QAction* action : popup->actions()) {
            action->setChecked(action->property(kLanguageIdProperty).toUInt() == current);
        }
    } else if (Contains(*popup, korv::cmd::kViewNumber)) {
        for (QAction* action : popup->actions()) {
            action->setEnabled(open);
            action->setCheckable(false);
            const int id = korv::CommandId(*action);
            bool checked = false;
            if (id == korv::cmd::kViewNumber) {
                checked = m_pList->IsColumnVisible(CLogListCtrl::kExtraNumber);
            } else if (id == korv::cmd::kViewType) {
                checked = m_pList->IsColumnVisible(CLogListCtrl::kExtraType);
            } else if (id == korv::cmd::kViewAutoScroll) {
                checked = m_pList->m_bAutoScroll;
            } else if (id == korv::cmd::kViewTimeline) {
                checked = m_pTimeline != nullptr && !m_pTimeline->isHidden();
            } else if (id == korv::cmd::kViewRaw) {
                checked = m_log.IsRaw();
                // A directory's rows are files, and a log without the module is raw anyway.
                action->setEnabled(open && !m_log.IsDirectory() && (m_log.IsRawRequested() || !m_log.IsRaw()));
            } else {
                continue;
            }
            action->setCheckable(true);
            action->setChecked(checked);
        }
    }
}

std::unique_ptr<QMenu> CLogViewerDlg::BuildListContextMenu() {
    const int id = m_log.GetViewMode() == LOG_VIEW_RECORD ? korv::res::kMenuContextRecord
                                                            : korv::res::kMenuContextList;
    std::unique_ptr<QMenu> menu(korv::BuildContextMenu(id, nullptr));
    if (!menu) {
        return menu;
    }
    DropDeleteItems(*menu);
    UpdateMenuState(menu.get());
    return menu;
}

void CLogViewerDlg::OnContextMenu(const QPoint& globalPos) {
    const CLogListCtrl::Cell cell = m_pList->GetRightClickedCell();
    m_nClickRow = cell.row;
    m_nClickColumn = cell.row == -1 ? -1 : cell.column;
    m_clickKey = m_pList->KeyOfRow(cell.row);
    std::unique_ptr<QMenu> menu = BuildListContextMenu();
    if (!menu) {
        return;
    }
    if (QAction* chosen = menu->exec(globalPos)) {
        if (const int command = korv::CommandId(*chosen)) {
            OnCommand(command);
        }
    }
}
