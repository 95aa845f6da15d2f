#pragma once
// Records that a load could not read or decode. The log model shows a record whose payload
// does not decode as a raw row, and a load ends at the first record it cannot read (a file
// changed under the reader); both are silent there, korvlog counts them.

#include <cstddef>
#include <string>

class CLog;

namespace korv::cli {

// Records of the opened file log's index (or its one fixed record) that have no row, or only
// the raw row of a record that was not decoded. 0 for a directory log.
std::size_t CountLoadLosses(const CLog& log);

// "1 record", "2 records": n and the noun, plural unless n is 1.
std::string Counted(std::size_t n, const std::string& noun);

}  // namespace korv::cli
