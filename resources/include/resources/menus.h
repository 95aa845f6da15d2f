#pragma once
// The menu resources as data: the menu bar (103) and the two context menus
// (133 for list views, 135 for record views). Texts carry '&' mnemonics and
// a TAB before the shortcut text, as the menus show them.

#include <span>
#include <string_view>

namespace korv {

struct MenuItem {
    enum class Kind { Command, Separator, Popup };
    Kind kind = Kind::Command;
    int id = 0;  // command id; 0 for separators and pop-ups
    std::string_view text;
    std::span<const MenuItem> children;  // a pop-up's items
};

// The top-level items of menu `id`, or an empty span for an unknown id. For
// the context menus this is one pop-up whose items are the menu.
std::span<const MenuItem> MenuResource(int id);

// Depth-first search for the item with command `id` below `items`; null when absent.
const MenuItem* FindMenuItem(std::span<const MenuItem> items, int id);

}  // namespace korv
