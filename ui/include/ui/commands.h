#pragma once
// The rules behind the viewer's menus that need no window: which Edit and
// context-menu items are enabled, which Filter items are checked, and how a
// Filter command changes the type mask. The window gathers the facts and
// applies the answers when a pop-up opens.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace korv {

// Facts the Edit pop-up and the context menus depend on.
struct EditMenuFacts {
    int itemCount = 0;        // rows in the list
    bool selection = false;   // at least one row selected
    bool product = false;     // a log opened by bare name from the product's Logs directory
    bool searchable = false;  // the log is decoded by the module
    bool clickedCell = false; // the last right-click hit a cell
    bool markable = false;    // a whole file log, whose rows can be marked
    std::size_t marks = 0;    // rows marked in it
};

// Whether item `id` of the Edit pop-up or a context menu is enabled; nullopt
// for ids these rules do not cover.
std::optional<bool> EditItemEnabled(int id, const EditMenuFacts& facts);

// The five type bits of the Filter pop-up.
inline constexpr std::uint32_t kAllTypeBits = 0x1F;

// The filter bit that Filter command `id` toggles (types and Deleted); 0 for
// the other ids.
std::uint32_t FilterCommandBit(int id);

// The type mask after Filter command `id`: types and Deleted toggle their
// bit, Select All sets the five type bits, Select None clears them, any other
// id leaves the mask as it is.
std::uint32_t FilterMaskAfterCommand(std::uint32_t mask, int id);

// Whether Filter item `id` shows a check mark for `mask`.
bool FilterItemChecked(int id, std::uint32_t mask);

}  // namespace korv
