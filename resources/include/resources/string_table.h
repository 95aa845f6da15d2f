#pragma once
// The viewer's string table: the texts of the numbered string resources,
// UTF-8, looked up by id. An unknown id gives an empty text, as a failed
// load does, so callers can test for "not there" with empty().

#include <span>
#include <string_view>

namespace korv::str {
inline constexpr unsigned kSysMenuAbout = 101;
inline constexpr unsigned kOpenFileFilter = 104;
inline constexpr unsigned kSeverityNames = 105;
inline constexpr unsigned kColumnType = 106;
inline constexpr unsigned kColumnNumber = 107;
inline constexpr unsigned kColumnFlags = 108;
inline constexpr unsigned kPaneProgress = 110;
inline constexpr unsigned kPaneCount = 111;
inline constexpr unsigned kPaneSelected = 112;
inline constexpr unsigned kPaneDeleted = 113;
inline constexpr unsigned kPaneCorrupted = 114;
inline constexpr unsigned kPaneUtc = 115;
inline constexpr unsigned kFmtCount = 121;
inline constexpr unsigned kFmtSelected = 122;
inline constexpr unsigned kFmtDeleted = 123;
inline constexpr unsigned kFmtCorrupted = 124;
inline constexpr unsigned kFmtUtc = 125;
inline constexpr unsigned kTitleWithLog = 130;
inline constexpr unsigned kTitleNoLog = 131;
inline constexpr unsigned kPeriodNames = 2520;
inline constexpr unsigned kFindTitle = 2522;
inline constexpr unsigned kFilterTitle = 2523;
inline constexpr unsigned kFindButton = 2524;
inline constexpr unsigned kStopButton = 2525;
inline constexpr unsigned kOkButton = 2526;
inline constexpr unsigned kAppName = 57344;
}  // namespace korv::str

namespace korv {

struct StringEntry {
    unsigned id;
    std::string_view text;
};

// The text of string `id`, or an empty view when there is no such string.
std::string_view StringText(unsigned id);

// Every entry, in ascending id order.
std::span<const StringEntry> StringTable();

}  // namespace korv
