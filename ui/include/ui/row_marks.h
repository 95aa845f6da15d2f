#pragma once
// The rows a user marked in a file log. A mark belongs to a record's row, by
// RowKey (record index, row, auxiliary value), never to a position, so marks
// stay on their rows across appends, filters and reloads; a mark whose
// record index now holds another record (a rewritten file) is dropped rather
// than moved onto that record.

#include <cstddef>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "logmodel/rec_info.h"
#include "ui/row_key.h"

namespace korv {

class RowMarks {
public:
    // More marks than anyone reads through; also bounds what the settings keep.
    static constexpr std::size_t kMaxMarks = 10000;

    enum class Toggled { kMarked, kUnmarked, kCapped, kNothing };

    bool Contains(const RowKey& key) const { return !m_keys.empty() && m_keys.count(key) != 0; }
    bool Empty() const { return m_keys.empty(); }
    std::size_t Size() const { return m_keys.size(); }
    const std::set<RowKey>& Keys() const { return m_keys; }

    // Marks every valid key of `keys` unless all of them are marked already, in which case
    // they are unmarked. kCapped when the cap left some unmarked; kNothing without a valid key.
    Toggled Toggle(std::span<const RowKey> keys);
    void Clear() { m_keys.clear(); }
    // Replaces the marks with the valid keys of `keys`, the first kMaxMarks of them.
    void Assign(std::span<const RowKey> keys);

    // Drops every mark whose record index is among `rows` (ascending by record, then row,
    // as the log keeps them) with another auxiliary value, or without the marked row.
    // Marks of records not among the rows stay. Answers how many went.
    std::size_t DropRewritten(std::span<const REC_INFO_BASE> rows);

private:
    std::set<RowKey> m_keys;
};

// "record,row,auxiliary;" for each mark, in key order.
std::string FormatMarks(const RowMarks& marks);
// The keys of such a text; an item that is not three numbers in range is skipped.
std::vector<RowKey> ParseMarks(std::string_view text);

}  // namespace korv
