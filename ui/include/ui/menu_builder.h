#pragma once
// Qt menus and shortcuts from the menu and accelerator resources. Every
// command item becomes a QAction whose data() is its command id, so one
// handler per id range can dispatch them.

#include <QList>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QShortcut;
class QWidget;

namespace korv {

// Fills `bar` with the pop-ups and items of menu resource `menuId`.
void BuildMenuBar(QMenuBar& bar, int menuId);

// The first pop-up of menu resource `menuId` (the context menus) as a new
// menu owned by `parent`; null when the resource has no pop-up.
QMenu* BuildContextMenu(int menuId, QWidget* parent);

// The action with command `id` among `root`'s menus, searched depth-first;
// null when absent.
QAction* FindCommandAction(const QWidget& root, int id);

// The command id an action carries; 0 for separators and sub-menu items.
int CommandId(const QAction& action);

// Shortcuts of accelerator table `tableId` on `window`, active while that
// window (not a dialog of it) is the active window; each calls `dispatch`
// with its command id. The shortcuts are owned by `window`.
QList<QShortcut*> InstallAccelerators(QWidget& window, int tableId, std::function<void(int)> dispatch);

}  // namespace korv
