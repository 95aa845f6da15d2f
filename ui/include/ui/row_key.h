#pragma once
// A row of the list as it survives a change of the row list (new rows, a new
// filter, a reload): what the window remembers of a row across a refresh is
// its key, never its visible position.

#include <compare>
#include <cstdint>
#include <string>

namespace korv {

// A file log's row is its record index, its row within the record and the
// record's auxiliary value together: the auxiliary value alone may be shared
// (by the rows of one record, or by records of a writer that does not vary
// it), and a key shared by rows would select rows the user never selected. A
// directory row is its file name. `valid` is false for no row.
struct RowKey {
    bool valid = false;
    std::int32_t record = -1;
    std::int32_t row = -1;
    std::uint32_t auxiliary = 0;
    std::u16string file;
    auto operator<=>(const RowKey&) const = default;
};

}  // namespace korv
