#include "ui/viewer_text.h"

#include "platform/langid.h"
#include "resources/message_format.h"
#include "resources/string_table.h"
#include "resources/texts.h"
#include "ui/ui_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace korv {
namespace {

std::u16string ToU16(std::string_view text) {
    const QString q = Qs(text);
    return std::u16string(reinterpret_cast<const char16_t*>(q.utf16()), static_cast<size_t>(q.size()));
}

// Ordinal UTF-16 comparison: std::u16string compares code units, and a
// shorter prefix sorts first.
bool ByName(const LanguageEntry& a, const LanguageEntry& b) { return a.name < b.name; }

}  // namespace

RecordPath SplitRecordSuffix(const std::string& path, const std::function<bool(const std::string&)>& exists) {
    RecordPath result{path, -1};
    if (exists && exists(path)) {
        return result;
    }
    const size_t colon = path.rfind(':');
    if (colon == std::string::npos) {
        return result;
    }
    std::string_view rest(path);
    rest.remove_prefix(colon + 1);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) {
        rest.remove_prefix(1);
    }
    if (!std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return result;
    }
    int number = 0;
    if (!rest.empty()) {
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        if (ec != std::errc() || end != rest.data() + rest.size()) {
            return result;
        }
    }
    result.path = path.substr(0, colon);
    result.record = number;
    return result;
}

QString MakeWindowTitle(const QString& name, const QString& detail) {
    std::string title;
    if (!name.isEmpty() || !detail.isEmpty()) {
        const MessageArg args[] = {name.toStdString(), detail.toStdString()};
        title = FormatMessageText(StringText(str::kTitleWithLog), args);
    } else {
        title = std::string(StringText(str::kTitleNoLog));
    }
    return Qs(ReplaceAll(title, text::kVersionPlaceholder, text::kVersion));
}

QString ProgressPaneText(bool busy, double progress) {
    if (!busy) {
        return Qs(text::kDone);
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, std::string(text::kUpdatingFmt).c_str(), progress);
    return QString::fromUtf8(buffer);
}

QString SearchingPaneText(int percent) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, std::string(text::kSearchingFmt).c_str(), percent);
    return QString::fromUtf8(buffer);
}

std::vector<LanguageEntry> BuildLanguageList(const std::vector<std::uint16_t>& ids) {
    std::vector<LanguageEntry> list;
    list.reserve(ids.size());
    for (std::uint16_t id : ids) {
        platform::LanguageNames names;
        if (platform::lookup_language(id, names) && !names.language.empty()) {
            list.push_back({id, ToU16(names.language)});
        } else {
            list.push_back({id, ToU16(std::to_string(id))});
        }
    }
    std::stable_sort(list.begin(), list.end(), ByName);
    // Equal names get their country; compare against the bare name of the
    // predecessor, which may already carry its country.
    std::u16string previousBare;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::u16string bare = list[i].name;
        if (i > 0 && bare == previousBare) {
            auto addCountry = [](LanguageEntry& entry) {
                platform::LanguageNames names;
                platform::lookup_language(entry.id, names);
                entry.name += u" (" + ToU16(names.country) + u")";
            };
            if (list[i - 1].name == previousBare) {
                addCountry(list[i - 1]);
            }
            addCountry(list[i]);
        }
        previousBare = bare;
    }
    std::stable_sort(list.begin(), list.end(), ByName);
    return list;
}

std::vector<LogsMenuItem> BuildLogsMenuItems(const LogTable& table, int limit) {
    std::vector<LogsMenuItem> items;
    const int count = std::min(static_cast<int>(table.size()), limit);
    for (int i = 0; i < count; ++i) {
        const LOG_INFO& entry = table[static_cast<size_t>(i)];
        if (!nsLog::IsOfferedInLogsMenu(entry)) {
            continue;
        }
        QString text = QString::fromStdString(entry.m_strDisplayName);
        const bool shown = std::any_of(items.begin(), items.end(), [&](const LogsMenuItem& item) {
            return item.text == text;
        });
        if (shown) {
            text += QStringLiteral(" (%1)").arg(QString::fromStdString(entry.m_strFileName));
        }
        items.push_back({i, text});
    }
    return items;
}

}  // namespace korv
