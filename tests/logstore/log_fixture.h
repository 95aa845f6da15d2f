#pragma once
// Builds test logs with the stand-in writer and damages them byte by byte.

#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "logstore/disklog.h"
#include "standin/logfile.h"

namespace korv::test {

using Bytes = std::vector<unsigned char>;

inline Bytes read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void write_bytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Corruption helpers: they change the file behind every reader's back.
inline void patch_u32(const std::string& path, std::uint64_t offset, std::uint32_t value) {
  Bytes b = read_bytes(path);
  ASSERT_LE(offset + 4, b.size());
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<unsigned char>(value >> (8 * i));
  write_bytes(path, b);
}
inline void patch_u64(const std::string& path, std::uint64_t offset, std::uint64_t value) {
  patch_u32(path, offset, static_cast<std::uint32_t>(value));
  patch_u32(path, offset + 4, static_cast<std::uint32_t>(value >> 32));
}
inline void flip_byte(const std::string& path, std::uint64_t offset) {
  Bytes b = read_bytes(path);
  ASSERT_LT(offset, b.size());
  b[offset] ^= 0xFF;
  write_bytes(path, b);
}
inline void fill_range(const std::string& path, std::uint64_t offset, std::size_t length, unsigned char value = 0) {
  Bytes b = read_bytes(path);
  ASSERT_LE(offset + length, b.size());
  std::memset(b.data() + offset, value, length);
  write_bytes(path, b);
}

inline Bytes payload_of(std::size_t length, unsigned seed) {
  Bytes p(length);
  for (std::size_t i = 0; i < length; ++i) p[i] = static_cast<unsigned char>(seed * 31 + i + 1);
  return p;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-log-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "test.dat").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A log with one record per payload length; type 0x00010000 + i, time 1000 + i, aux 7 * i.
  std::vector<standin::RecordLocation> make_log(const std::vector<std::size_t>& payload_lengths,
                                                const std::vector<std::uint32_t>& flags = {}) {
    standin::LogFileWriter w;
    EXPECT_EQ(w.create(path_), platform::FileError::ok);
    for (std::size_t i = 0; i < payload_lengths.size(); ++i) {
      const Bytes p = payload_of(payload_lengths[i], static_cast<unsigned>(i));
      standin::NewRecord r;
      r.type = 0x00010000u + static_cast<std::uint32_t>(i);
      r.time = 1000 + i;
      r.flags = i < flags.size() ? flags[i] : 0;
      r.aux = 7 * static_cast<std::uint32_t>(i);
      r.payload = p;
      EXPECT_EQ(w.append(r), platform::FileError::ok);
    }
    std::vector<standin::RecordLocation> all;
    EXPECT_EQ(w.records(all), platform::FileError::ok);
    EXPECT_EQ(w.close(), platform::FileError::ok);
    return all;
  }

  std::vector<_DISKLOG_INDEX_RECORD> index_of(DiskLogFile* log) {
    std::vector<_DISKLOG_INDEX_RECORD> out(DiskLogIndexCount(log));
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_TRUE(DiskLogIndexEntry(log, i, out[i]));
    return out;
  }

  std::filesystem::path dir_;
  std::string path_;
};

}  // namespace korv::test
