#pragma once
// Reading and decoding one record for the cache thread with the worker's own buffers,
// taking no lock but the file's (inside the log store) and the log's decoding lock.

#include <cstdint>
#include <string>
#include <vector>

class CLog;

namespace korv {

// Record `record` of the log's index, decoded into `block`. False on any failure.
bool ReadRecordForCache(CLog& log, std::int32_t record, std::vector<std::uint8_t>& buffer,
                        std::vector<std::uint8_t>& block);
// The first record, in file order, of the file `fileName` of a directory log.
bool ReadDirectoryRecordForCache(CLog& log, const std::u16string& fileName,
                                 std::vector<std::uint8_t>& buffer, std::vector<std::uint8_t>& block);

}  // namespace korv
