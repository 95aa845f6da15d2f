#include "resources/string_table.h"

#include <algorithm>

namespace korv {
namespace {

// Sorted by id, so that a look-up is a binary search.
constexpr StringEntry kStrings[] = {
    {str::kSysMenuAbout, "&About KORV Log Viewer..."},
    {str::kOpenFileFilter, "Log file (*.dat)|*.dat|Any file (*.*)|*.*||"},
    {str::kSeverityNames, "None|Diagnostic|Information|Warning|Error|Critical"},
    {str::kColumnType, "Type"},
    {str::kColumnNumber, "No."},
    {str::kColumnFlags, "Flags"},
    {str::kPaneProgress, "Done"},
    {str::kPaneCount, "Cnt: 0 of 0"},
    {str::kPaneSelected, "Sel: 0"},
    {str::kPaneDeleted, "Del: 0"},
    {str::kPaneCorrupted, "Corr: 0"},
    {str::kPaneUtc, "UTC: 0"},
    {str::kFmtCount, "Cnt: %1!d! of %2!d!"},
    {str::kFmtSelected, "Sel: %1!d!"},
    {str::kFmtDeleted, "Del: %1!d!"},
    {str::kFmtCorrupted, "Corr: %1!d!"},
    {str::kFmtUtc, "UTC: %1!d!"},
    // The trailing blank is part of the title text.
    {str::kTitleWithLog, "KORV Log Viewer [{VERSION}] - %1% (%2%) "},
    {str::kTitleNoLog, "KORV Log Viewer [{VERSION}]"},
    {str::kPeriodNames, "Whole log\nLast day\nLast week\nLast month\nTime period"},
    {str::kFindTitle, "Search in log"},
    {str::kFilterTitle, "Log filtering"},
    {str::kFindButton, "&Find"},
    {str::kStopButton, "&Stop"},
    {str::kOkButton, "&OK"},
    {str::kAppName, "KORV Log Viewer"},
};

static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const StringEntry& a, const StringEntry& b) { return a.id < b.id; }),
              "the string table must stay sorted by id");

}  // namespace

std::string_view StringText(unsigned id) {
    const auto* it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                      [](const StringEntry& e, unsigned key) { return e.id < key; });
    if (it == std::end(kStrings) || it->id != id) {
        return {};
    }
    return it->text;
}

std::span<const StringEntry> StringTable() { return kStrings; }

}  // namespace korv
