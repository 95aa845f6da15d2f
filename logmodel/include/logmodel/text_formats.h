#pragma once
// The pieces of the line formats that other tools read (JSON Lines and CSV): a cell's text
// as a JSON string or as a CSV field, and member names that cannot collide. Plain functions
// over UTF-16 cells, appending UTF-8, so every writer of these formats quotes alike.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korv {

// `text` as one JSON string, quotes included, in UTF-8. Valid JSON whatever the text holds:
// quote and backslash escaped; every C0 control, DEL and the C1 controls written as \uXXXX
// (\b \f \n \r \t for their own), so no cell reaches a terminal as a control sequence;
// U+2028 and U+2029 escaped too, as some JSON readers (JavaScript before ES2019) end a
// line at them; an unpaired surrogate becomes U+FFFD, which UTF-8 can carry.
void AppendJsonString(std::u16string_view text, std::string& out);

// `text` as one CSV field (RFC 4180) in UTF-8: enclosed in double quotes, with each quote
// doubled, when it holds a comma, a quote, CR or LF; as it is otherwise (an empty text is
// an empty field). NUL becomes U+FFFD (readers built on C strings stop at it) and an
// unpaired surrogate U+FFFD; every other character is kept, a TAB included.
void AppendCsvField(std::u16string_view text, std::string& out);

// One CSV record: the fields joined by commas, without the line end.
void AppendCsvRecord(std::span<const std::u16string> fields, std::string& out);

// Member names for `titles` that are unique among themselves and distinct from every name
// in `reserved`, compared without ASCII case (DuckDB and Spark treat names that differ only
// in case as the same column). A free title is kept as it is; an empty one becomes
// "column N" (N counting from 1); a taken one gets the first free suffix "_2", "_3", ...
// Names are given in order, so the first of two equal titles keeps its name.
std::vector<std::u16string> UniqueMemberNames(std::span<const std::u16string_view> reserved,
                                              std::span<const std::u16string> titles);

}  // namespace korv
