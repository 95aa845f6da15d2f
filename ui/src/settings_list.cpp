#include "ui/settings_list.h"

#include <climits>
#include <cstdint>

namespace korv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int ReadInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(INT_MAX) + 1) {
            value = static_cast<std::int64_t>(INT_MAX) + 1;  // clamp, never overflow
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        value = INT_MAX;
    }
    return static_cast<int>(value);
}

}  // namespace

std::vector<int> ParseSettingsList(std::string_view text) {
    std::vector<int> values;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find(';', pos);
        const std::string_view item =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (item.empty()) {
            break;
        }
        values.push_back(ReadInt(item));
        if (end == std::string_view::npos) {
            break;
        }
        pos = end + 1;
    }
    return values;
}

std::string FormatSettingsList(std::span<const int> values) {
    std::string text;
    for (int v : values) {
        text += std::to_string(v);
        text += ';';
    }
    return text;
}

std::vector<ColumnWidth> WidthsToApply(std::span<const int> values, int columnCount) {
    std::vector<ColumnWidth> widths;
    if (columnCount < 0 || values.size() != static_cast<std::size_t>(columnCount)) {
        return widths;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] >= 0) {
            widths.push_back({static_cast<int>(i), values[i] & 0xFFFF});
        }
    }
    return widths;
}

std::vector<int> OrderToApply(std::span<const int> values, int columnCount) {
    if (columnCount <= 0 || values.size() != static_cast<std::size_t>(columnCount)) {
        return {};
    }
    std::vector<bool> seen(values.size(), false);
    for (int v : values) {
        if (v < 0 || v >= columnCount || seen[static_cast<std::size_t>(v)]) {
            return {};
        }
        seen[static_cast<std::size_t>(v)] = true;
    }
    return {values.begin(), values.end()};
}

}  // namespace korv
