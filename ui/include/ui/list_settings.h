#pragma once
// What the viewer remembers per log kind: the record types shown, the
// list's auto-scroll flag and its column widths and order. The values live
// in QSettings("KORV", "KORV Log Viewer") under the log's settings key
// ("escan\dir" becomes the nested group escan/dir):
//   "Filter"          type mask of the active criteria, default 31
//   "ListAutoScroll"  0 or 1, default 1
//   "ListColWidth"    width of every column by number, "50;30;70;", default empty
//   "ListColOrder"    column shown at each position, same form, default empty

#include <QSettings>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

class CLog;
class CLogListCtrl;

namespace korv {

inline constexpr std::uint32_t kDefaultFilterMask = 31;

struct ListSettings {
    std::uint32_t filter = kDefaultFilterMask;
    bool autoScroll = true;
    std::string colWidth;
    std::string colOrder;

    bool operator==(const ListSettings&) const = default;
};

// The QSettings group of a settings key; empty for an empty key.
QString SettingsGroup(std::string_view key);

// Missing or unreadable values give their defaults.
ListSettings ReadListSettings(QSettings& settings, std::string_view key);
// Writes the four values; nothing for an empty key.
void WriteListSettings(QSettings& settings, std::string_view key, const ListSettings& values);

// The list's current layout in the stored form (empty with no columns).
void CaptureListLayout(const CLogListCtrl& list, ListSettings& values);
// Sets the auto-scroll flag, then the stored widths and the stored order,
// each only when it has exactly one value per column of the list; negative
// widths leave their column alone.
void ApplyListLayout(CLogListCtrl& list, const ListSettings& values);

// The window's two operations over its opened log and list. Save does
// nothing with no log open. Load replaces the log's criteria by the
// defaults with the stored type mask (callers that must keep text, time or
// column criteria set them again) and must run while the updater is idle.
void SaveListSettings(CLog* log, const CLogListCtrl& list, QSettings& settings);
void LoadListSettings(CLog* log, CLogListCtrl& list, QSettings& settings);
// The same on QSettings("KORV", "KORV Log Viewer").
void SaveListSettings(CLog* log, const CLogListCtrl& list);
void LoadListSettings(CLog* log, CLogListCtrl& list);

}  // namespace korv
