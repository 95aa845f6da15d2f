#pragma once
// The numeric ids of the viewer's resources: commands, controls, dialogs,
// menus, icons, text resources, timers and help contexts. They keep the
// numbers of the original resources so that settings, tests and menus agree.

#include <cstdint>

// Named by the filter dialog's and the main dialog's callers.
inline constexpr int ID_FILTERDLG_FIND = 2550;
inline constexpr int ID_FILTERDLG_STOP = 2551;
inline constexpr int ID_TIMER_CHANGE = 1;
inline constexpr int ID_TIMER_PROGRESS = 2;

namespace korv::cmd {
inline constexpr int kSysAbout = 16;  // system-menu About item (16..31 are taken as About)
inline constexpr int kOpenDir = 32770;
inline constexpr int kOpenFile = 32771;
inline constexpr int kExit = 32772;
inline constexpr int kOpenTimeline = 32773;

inline constexpr int kFilterCritical = 32790;
inline constexpr int kFilterWarning = 32791;
inline constexpr int kFilterError = 32792;
inline constexpr int kFilterInformation = 32793;
inline constexpr int kFilterDiagnostic = 32794;
inline constexpr int kFilterSelectAll = 32796;
inline constexpr int kFilterSelectNone = 32797;
inline constexpr int kFilterAdvanced = 32798;
inline constexpr int kFilterDeleted = 32799;
inline constexpr int kFilterFirst = 32790;
inline constexpr int kFilterLast = 32799;

inline constexpr int kViewNumber = 32810;
inline constexpr int kViewType = 32811;
inline constexpr int kViewAutoScroll = 32812;
inline constexpr int kViewReset = 32813;
inline constexpr int kViewTimeline = 32814;
// Every record as a raw row (time, number, kind, size, readable texts), without the module.
inline constexpr int kViewRaw = 32815;
inline constexpr int kViewFirst = 32810;
inline constexpr int kViewLast = 32815;

inline constexpr int kCopyCell = 32819;
inline constexpr int kCopyAll = 32820;
inline constexpr int kDelete = 32821;
inline constexpr int kDeleteAll = 32822;
inline constexpr int kFindNext = 32824;
inline constexpr int kFindPrev = 32825;
// Marks on rows: toggled on the selection, visited in turn, copied and exported.
inline constexpr int kToggleMark = 32826;
inline constexpr int kNextMark = 32827;
inline constexpr int kPrevMark = 32828;
inline constexpr int kClearMarks = 32829;
inline constexpr int kCopyMarked = 32830;
inline constexpr int kExportMarked = 32831;
inline constexpr int kExport = 32833;
inline constexpr int kTimeZone = 32834;
inline constexpr int kEula = 32840;
inline constexpr int kChangelog = 32841;

// Reserved ranges of the menus built at run time.
inline constexpr int kLogsFirst = 32850;
inline constexpr int kLogsLast = 32899;
inline constexpr int kLanguageFirst = 32900;
inline constexpr int kLanguageLast = 32999;

inline constexpr int kCopy = 57634;
inline constexpr int kFind = 57636;
inline constexpr int kSelectAll = 57642;
inline constexpr int kAbout = 57664;
}  // namespace korv::cmd

namespace korv::ctrl {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kEulaClose = 8;
inline constexpr int kLogList = 1000;
inline constexpr int kChangelogText = 1001;
inline constexpr int kUtcOffset = 1022;
inline constexpr int kAboutLegal = 1024;
inline constexpr int kAboutVersion = 1025;
inline constexpr int kAboutTitle = 1026;
inline constexpr int kEulaText = 1027;

inline constexpr int kFilterText = 2501;
inline constexpr int kFilterColumns = 2502;
inline constexpr int kFilterTypes = 2503;
inline constexpr int kFilterPeriod = 2504;
inline constexpr int kFilterFromDate = 2505;
inline constexpr int kFilterToDate = 2506;
inline constexpr int kFilterToTime = 2507;
inline constexpr int kFilterFromTime = 2508;
inline constexpr int kFilterCaseSensitive = 2509;
inline constexpr int kFilterWholeWords = 2510;
inline constexpr int kFilterSearchUp = 2511;
inline constexpr int kFilterShowDeleted = 2512;
inline constexpr int kFilterRegex = 2513;  // the text is a regular expression
inline constexpr int kFilterDefault = 2552;

inline constexpr int kStatusBar = 0xE801;
}  // namespace korv::ctrl

namespace korv::idd {
inline constexpr int kAbout = 100;
inline constexpr int kMain = 102;
inline constexpr int kTimeZone = 136;
inline constexpr int kEula = 137;
inline constexpr int kChangelog = 138;
inline constexpr int kFilter = 2500;
}  // namespace korv::idd

namespace korv::res {
inline constexpr int kIconMain = 103;
inline constexpr int kMenuMain = 103;
inline constexpr int kMenuContextList = 133;    // view mode 1
inline constexpr int kMenuContextRecord = 135;  // view mode 3
inline constexpr int kAcceleratorsMain = 103;
inline constexpr int kLicenceRtf = 150;   // type "RT_RTF_FILE"
inline constexpr int kChangelogTxt = 151; // type "RT_TXT_FILE"
}  // namespace korv::res

namespace korv::help {
// A window's own topic: 0x20000 plus its template id (the viewer window, 102).
inline constexpr std::uint32_t kMainContext = 0x20000 + idd::kMain;
inline constexpr std::uint32_t kFindContext = 0x60255;        // find window, idle
inline constexpr std::uint32_t kFilterContext = 0x60255 + 1;  // searching and filtering
inline constexpr std::uint32_t kTimeZoneContext = 0x20000 + idd::kTimeZone;
}  // namespace korv::help
