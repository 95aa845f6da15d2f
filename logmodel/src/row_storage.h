#pragma once
// Growing the rows of a large log without the slack of a doubling vector: a log of millions of
// rows would otherwise hold up to twice their memory from its last growth on.

#include <vector>

#include "logmodel/rec_info.h"

namespace korv {

// `front` put before the rows. When the rows must move, their new storage holds `room` rows
// (at least the rows and the front): the newest-first load prepends about as many rows as it
// holds at each step, so room for the rows still to come lets the later steps prepend in place
// rather than keep the old rows, the front and their copy at once.
void PrependRows(std::vector<REC_INFO_BASE>& rows, const std::vector<REC_INFO_BASE>& front,
                 std::size_t room = 0);

// `back` put after the rows. When the rows must move, they grow by an eighth (or what is
// added, when more): a followed log gains a few rows at a time, and a doubling there would
// double what a large log holds.
void AppendRows(std::vector<REC_INFO_BASE>& rows, const std::vector<REC_INFO_BASE>& back);

// Empties `rows` and gives their storage back.
inline void ReleaseRows(std::vector<REC_INFO_BASE>& rows) { std::vector<REC_INFO_BASE>().swap(rows); }

}  // namespace korv
