#include "ui/row_marks.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace korv {

RowMarks::Toggled RowMarks::Toggle(std::span<const RowKey> keys) {
    bool any = false;
    bool allMarked = true;
    for (const RowKey& key : keys) {
        if (key.valid) {
            any = true;
            allMarked = allMarked && Contains(key);
        }
    }
    if (!any) {
        return Toggled::kNothing;
    }
    if (allMarked) {
        for (const RowKey& key : keys) {
            m_keys.erase(key);
        }
        return Toggled::kUnmarked;
    }
    bool capped = false;
    for (const RowKey& key : keys) {
        if (!key.valid || Contains(key)) {
            continue;
        }
        if (m_keys.size() >= kMaxMarks) {
            capped = true;
            break;
        }
        m_keys.insert(key);
    }
    return capped ? Toggled::kCapped : Toggled::kMarked;
}

void RowMarks::Assign(std::span<const RowKey> keys) {
    m_keys.clear();
    for (const RowKey& key : keys) {
        if (m_keys.size() >= kMaxMarks) {
            break;
        }
        if (key.valid) {
            m_keys.insert(key);
        }
    }
}

std::size_t RowMarks::DropRewritten(std::span<const REC_INFO_BASE> rows) {
    std::size_t dropped = 0;
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        const RowKey& key = *it;
        auto row = std::lower_bound(rows.begin(), rows.end(), key.record,
                                    [](const REC_INFO_BASE& r, std::int32_t record) { return r.record < record; });
        bool keep = true;
        if (row != rows.end() && row->record == key.record) {
            bool found = false;
            for (; row != rows.end() && row->record == key.record; ++row) {
                if (row->auxiliary != key.auxiliary) {
                    keep = false;  // another record now stands at this index
                    break;
                }
                found = found || row->row == key.row;
            }
            keep = keep && found;
        }
        if (keep) {
            ++it;
        } else {
            it = m_keys.erase(it);
            ++dropped;
        }
    }
    return dropped;
}

std::string FormatMarks(const RowMarks& marks) {
    std::string text;
    for (const RowKey& key : marks.Keys()) {
        text += std::to_string(key.record) + ',' + std::to_string(key.row) + ',' + std::to_string(key.auxiliary) + ';';
    }
    return text;
}

namespace {

template <class T>
bool ReadNumber(std::string_view& text, char end, T& value) {
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr == text.data() + text.size() || *ptr != end) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(ptr - text.data()) + 1);
    return true;
}

}  // namespace

std::vector<RowKey> ParseMarks(std::string_view text) {
    std::vector<RowKey> keys;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        std::string_view item = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string itemText(item);
        itemText += ';';  // so that the last number has its end mark too
        std::string_view rest = itemText;
        RowKey key;
        if (ReadNumber(rest, ',', key.record) && ReadNumber(rest, ',', key.row) &&
            ReadNumber(rest, ';', key.auxiliary) && rest.empty() && key.record >= 0 && key.row >= 0) {
            key.valid = true;
            keys.push_back(key);
        }
    }
    return keys;
}

}  // namespace korv
