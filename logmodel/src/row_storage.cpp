#include "row_storage.h"

#include <algorithm>

namespace korv {

void PrependRows(std::vector<REC_INFO_BASE>& rows, const std::vector<REC_INFO_BASE>& front, std::size_t room) {
  if (front.empty()) return;
  if (rows.capacity() - rows.size() >= front.size()) {
    rows.insert(rows.begin(), front.begin(), front.end());
    return;
  }
  std::vector<REC_INFO_BASE> joined;
  joined.reserve(std::max(room, rows.size() + front.size()));
  joined.insert(joined.end(), front.begin(), front.end());
  joined.insert(joined.end(), rows.begin(), rows.end());
  rows.swap(joined);
}

void AppendRows(std::vector<REC_INFO_BASE>& rows, const std::vector<REC_INFO_BASE>& back) {
  // A few thousand rows at least, so that a small log does not move at every append.
  constexpr std::size_t kLeast = 4096;
  if (rows.capacity() - rows.size() < back.size())
    rows.reserve(rows.size() + std::max({back.size(), rows.size() / 8, kLeast}));
  rows.insert(rows.end(), back.begin(), back.end());
}

}  // namespace korv
