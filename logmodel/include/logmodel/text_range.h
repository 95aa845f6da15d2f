#pragma once
// A part of one cell's text, as the highlighting of matches uses it.

#include <cstddef>
#include <vector>

namespace korv {

// A half-open range of UTF-16 units.
struct TextRange {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool operator==(const TextRange&) const = default;
};

// Appends `range` to ranges found in ascending order of their start, merged into the last
// one where they touch or overlap; an empty range adds nothing.
inline void AddMergedRange(std::vector<TextRange>& ranges, TextRange range) {
  if (range.end <= range.begin) return;
  if (!ranges.empty() && range.begin <= ranges.back().end) {
    if (range.end > ranges.back().end) ranges.back().end = range.end;
    return;
  }
  ranges.push_back(range);
}

}  // namespace korv
