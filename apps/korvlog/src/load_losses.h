#pragma once
// Records that a load left without a row. The log model drops a record whose payload does
// not decode, and a load ends at the first record it cannot read (a file cut short, or
// changed under the reader); both are silent there, korvlog counts them.

#include <cstddef>
#include <string>

class CLog;

namespace korv::cli {

// Records of the opened file log's index that have no row. 0 for a directory log.
std::size_t CountLoadLosses(const CLog& log);

// "1 record", "2 records": n and the noun, plural unless n is 1.
std::string Counted(std::size_t n, const std::string& noun);

}  // namespace korv::cli
