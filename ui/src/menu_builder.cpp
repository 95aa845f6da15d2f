#include "ui/menu_builder.h"

#include "resources/accelerators.h"
#include "resources/menus.h"
#include "ui/ui_text.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

namespace korv {
namespace {

void AddItems(QWidget& menu, std::span<const MenuItem> items) {
    for (const MenuItem& item : items) {
        switch (item.kind) {
            case MenuItem::Kind::Separator: {
                auto* separator = new QAction(&menu);
                separator->setSeparator(true);
                menu.addAction(separator);
                break;
            }
            case MenuItem::Kind::Popup: {
                auto* popup = new QMenu(Qs(item.text), &menu);
                AddItems(*popup, item.children);
                menu.addAction(popup->menuAction());
                break;
            }
            case MenuItem::Kind::Command: {
                // The text after a TAB is shown as the shortcut column; the
                // shortcuts themselves are the window's accelerators.
                auto* action = new QAction(Qs(item.text), &menu);
                action->setData(item.id);
                menu.addAction(action);
                break;
            }
        }
    }
}

QAction* FindIn(const QList<QAction*>& actions, int id) {
    for (QAction* action : actions) {
        if (CommandId(*action) == id) {
            return action;
        }
        if (QMenu* sub = action->menu()) {
            if (QAction* found = FindIn(sub->actions(), id)) {
                return found;
            }
        }
    }
    return nullptr;
}

}  // namespace

void BuildMenuBar(QMenuBar& bar, int menuId) { AddItems(bar, MenuResource(menuId)); }

QMenu* BuildContextMenu(int menuId, QWidget* parent) {
    for (const MenuItem& item : MenuResource(menuId)) {
        if (item.kind == MenuItem::Kind::Popup) {
            auto* menu = new QMenu(parent);
            AddItems(*menu, item.children);
            return menu;
        }
    }
    return nullptr;
}

int CommandId(const QAction& action) {
    if (action.isSeparator() || action.menu()) {
        return 0;
    }
    bool ok = false;
    const int id = action.data().toInt(&ok);
    return ok ? id : 0;
}

QAction* FindCommandAction(const QWidget& root, int id) {
    if (QAction* found = FindIn(root.actions(), id)) {
        return found;
    }
    // Menus built into a menu bar are its actions; a context menu's are its own.
    for (const QMenu* menu : root.findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (QAction* found = FindIn(menu->actions(), id)) {
            return found;
        }
    }
    return nullptr;
}

QList<QShortcut*> InstallAccelerators(QWidget& window, int tableId, std::function<void(int)> dispatch) {
    QList<QShortcut*> shortcuts;
    for (const Accelerator& accelerator : AcceleratorTable(tableId)) {
        auto* shortcut = new QShortcut(QKeySequence(Qs(accelerator.keys), QKeySequence::PortableText), &window);
        // Only the window itself: its find dialog and small dialogs never get them.
        shortcut->setContext(Qt::WindowShortcut);
        const int command = accelerator.command;
        QObject::connect(shortcut, &QShortcut::activated, &window, [dispatch, command] { dispatch(command); });
        shortcuts.push_back(shortcut);
    }
    return shortcuts;
}

}  // namespace korv
