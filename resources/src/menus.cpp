#include "resources/menus.h"

#include "resources/ids.h"

namespace korv {
namespace {

using K = MenuItem::Kind;

constexpr MenuItem Cmd(int id, std::string_view text) { return {K::Command, id, text, {}}; }
constexpr MenuItem Sep() { return {K::Separator, 0, {}, {}}; }
constexpr MenuItem Pop(std::string_view text, std::span<const MenuItem> items) {
    return {K::Popup, 0, text, items};
}

constexpr MenuItem kFile[] = {
    Cmd(cmd::kOpenFile, "Open &File"),
    Cmd(cmd::kOpenDir, "Open &Dir"),
    Cmd(cmd::kOpenTimeline, "Open &Timeline..."),
    Sep(),
    Cmd(cmd::kExit, "&Exit"),
};

constexpr MenuItem kEdit[] = {
    Cmd(cmd::kCopy, "&Copy\tCtrl+C"),
    Cmd(cmd::kCopyAll, "Copy All"),
    Cmd(cmd::kDelete, "&Delete"),
    Cmd(cmd::kDeleteAll, "Delete All"),
    Sep(),
    Cmd(cmd::kSelectAll, "Select &All\tCtrl+A"),
    Sep(),
    Cmd(cmd::kFind, "&Find...\tCtrl+F"),
    Cmd(cmd::kFindNext, "Find Next\tF3"),
    Cmd(cmd::kFindPrev, "Find Prev\tShift+F3"),
    Sep(),
    Cmd(cmd::kToggleMark, "Toggle &Mark\tCtrl+F2"),
    Cmd(cmd::kNextMark, "Next Mark\tF2"),
    Cmd(cmd::kPrevMark, "Previous Mark\tShift+F2"),
    Cmd(cmd::kClearMarks, "Clear Marks"),
    Sep(),
    Cmd(cmd::kTimeZone, "Time Zone"),
};

constexpr MenuItem kView[] = {
    Cmd(cmd::kViewNumber, "&Number"),
    Cmd(cmd::kViewType, "&Type"),
    Sep(),
    Cmd(cmd::kViewAutoScroll, "&Auto Scroll"),
    Cmd(cmd::kViewTimeline, "Time&line"),
    Cmd(cmd::kViewRaw, "Ra&w Records"),
    Sep(),
    Cmd(cmd::kViewReset, "&Reset"),
};

constexpr MenuItem kFilter[] = {
    Cmd(cmd::kFilterCritical, "&Critical"),
    Cmd(cmd::kFilterError, "&Error"),
    Cmd(cmd::kFilterWarning, "&Warning"),
    Cmd(cmd::kFilterInformation, "&Information"),
    Cmd(cmd::kFilterDiagnostic, "&Diagnostic"),
    Sep(),
    Cmd(cmd::kFilterSelectAll, "Select &All"),
    Cmd(cmd::kFilterSelectNone, "Select &None"),
    Sep(),
    Cmd(cmd::kFilterDeleted, "De&leted"),
    Sep(),
    Cmd(cmd::kFilterAdvanced, "Advanced..."),
};

constexpr MenuItem kHelp[] = {
    Cmd(cmd::kAbout, "&About"),
    Cmd(cmd::kChangelog, "&Changelog"),
    Cmd(cmd::kEula, "&Eula"),
};

// "&Logs" and "L&anguage" are plain items here; the main window replaces
// them with pop-ups built from the service's log kinds and the module's
// languages.
constexpr MenuItem kMainMenu[] = {
    Pop("&File", kFile),
    Pop("&Edit", kEdit),
    Pop("&View", kView),
    Cmd(cmd::kLogsFirst, "&Logs"),
    Pop("F&ilter", kFilter),
    Cmd(cmd::kLanguageFirst, "L&anguage"),
    Pop("&Help", kHelp),
};

constexpr MenuItem kListContextItems[] = {
    Cmd(cmd::kCopy, "&Copy"),
    Cmd(cmd::kCopyAll, "Copy All"),
    Cmd(cmd::kCopyCell, "Copy &Cell"),
    Cmd(cmd::kCopyMarked, "Copy Marked Rows Only"),
    Cmd(cmd::kDelete, "&Delete"),
    Cmd(cmd::kDeleteAll, "Delete All"),
    Sep(),
    Cmd(cmd::kSelectAll, "Select &All"),
    Cmd(cmd::kToggleMark, "Toggle &Mark"),
    Sep(),
    Cmd(cmd::kFind, "&Find"),
    Cmd(cmd::kExport, "Export..."),
    Cmd(cmd::kExportMarked, "Export Marked Rows Only..."),
};

constexpr MenuItem kRecordContextItems[] = {
    Cmd(cmd::kCopy, "&Copy"),
    Cmd(cmd::kCopyAll, "Copy All"),
    Cmd(cmd::kCopyCell, "Copy &Cell"),
    Sep(),
    Cmd(cmd::kSelectAll, "Select &All"),
    Sep(),
    Cmd(cmd::kFind, "&Find"),
};

constexpr MenuItem kListContext[] = {Pop("List", kListContextItems)};
constexpr MenuItem kRecordContext[] = {Pop("Record", kRecordContextItems)};

}  // namespace

std::span<const MenuItem> MenuResource(int id) {
    switch (id) {
        case res::kMenuMain: return kMainMenu;
        case res::kMenuContextList: return kListContext;
        case res::kMenuContextRecord: return kRecordContext;
        default: return {};
    }
}

const MenuItem* FindMenuItem(std::span<const MenuItem> items, int id) {
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Command && item.id == id) {
            return &item;
        }
        if (item.kind == MenuItem::Kind::Popup) {
            if (const MenuItem* found = FindMenuItem(item.children, id)) {
                return found;
            }
        }
    }
    return nullptr;
}

}  // namespace korv
