#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace korv::platform {
namespace {

namespace fs = std::filesystem;

class FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-file-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  void write_text(const std::string& p, const std::string& text) const {
    std::ofstream(p, std::ios::binary) << text;
  }
  std::string read_text(const std::string& p) const {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir_;
};

TEST_F(FileTest, OpenErrors) {
  File f;
  EXPECT_EQ(f.open(path("missing"), FileMode::read), FileError::not_found);
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(f.open(path("no/such/dir"), FileMode::write), FileError::not_found);
  EXPECT_FALSE(fs::exists(path("missing")));
}

TEST_F(FileTest, WriteCreatesAndReadsBack) {
  File w;
  ASSERT_EQ(w.open(path("a"), FileMode::write), FileError::ok);
  EXPECT_TRUE(w.is_writable());
  ASSERT_EQ(w.write_at(4, "abcd", 4), FileError::ok);
  std::uint64_t size = 0;
  ASSERT_EQ(w.size(size), FileError::ok);
  EXPECT_EQ(size, 8u);

  char buf[16] = {};
  std::size_t got = 99;
  ASSERT_EQ(w.read_at(2, buf, sizeof buf, got), FileError::ok);
  EXPECT_EQ(got, 6u);  // short at end of file, not an error
  EXPECT_EQ(std::string(buf, got), std::string("\0\0abcd", 6));
  ASSERT_EQ(w.read_at(100, buf, sizeof buf, got), FileError::ok);
  EXPECT_EQ(got, 0u);

  ASSERT_EQ(w.truncate(5), FileError::ok);
  ASSERT_EQ(w.size(size), FileError::ok);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(w.flush(), FileError::ok);
}

TEST_F(FileTest, SharingRule) {
  write_text(path("log"), "data");
  File writer;
  ASSERT_EQ(writer.open(path("log"), FileMode::write), FileError::ok);

  File second;
  EXPECT_EQ(second.open(path("log"), FileMode::write), FileError::sharing_violation);
  EXPECT_FALSE(second.is_open());

  File reader;  // readers are never refused
  ASSERT_EQ(reader.open(path("log"), FileMode::read), FileError::ok);
  EXPECT_FALSE(reader.is_writable());

  // Moving the handle keeps the lock; closing the last owner releases it.
  File moved = std::move(writer);
  EXPECT_FALSE(writer.is_open());
  EXPECT_EQ(second.open(path("log"), FileMode::write), FileError::sharing_violation);
  moved.close();
  EXPECT_EQ(second.open(path("log"), FileMode::write), FileError::ok);
}

TEST_F(FileTest, ReadOnlyHandleRefusesChangesButFlushes) {
  write_text(path("ro"), "0123456789");
  File r;
  ASSERT_EQ(r.open(path("ro"), FileMode::read), FileError::ok);
  EXPECT_EQ(r.write_at(0, "x", 1), FileError::access_denied);
  EXPECT_EQ(r.truncate(0), FileError::access_denied);
  EXPECT_EQ(r.flush(), FileError::ok);
  EXPECT_EQ(read_text(path("ro")), "0123456789");
}

TEST_F(FileTest, OffsetsBeyondTheFileInterface) {
  File w;
  ASSERT_EQ(w.open(path("big"), FileMode::write), FileError::ok);
  char byte = 0;
  std::size_t got = 1;
  EXPECT_EQ(w.read_at(~0ULL, &byte, 1, got), FileError::invalid);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(w.write_at(~0ULL - 1, "ab", 2), FileError::invalid);
  EXPECT_EQ(w.write_at((1ULL << 63) - 1, "ab", 2), FileError::invalid);
  EXPECT_EQ(w.truncate(1ULL << 63), FileError::invalid);
  File closed;
  EXPECT_EQ(closed.read_at(0, &byte, 1, got), FileError::invalid);
}

TEST_F(FileTest, ModificationTimeFollowsTheFileSystem) {
  write_text(path("t"), "x");
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(path("t"), when);
  File r;
  ASSERT_EQ(r.open(path("t"), FileMode::read), FileError::ok);
  FileTime t = 0;
  ASSERT_EQ(r.modification_time(t), FileError::ok);
  const auto expected_seconds =
      std::chrono::duration_cast<std::chrono::seconds>(
          std::chrono::file_clock::to_sys(when).time_since_epoch())
          .count();
  EXPECT_EQ(filetime_to_unix(t).seconds, expected_seconds);
}

TEST_F(FileTest, CopyReplacesTarget) {
  std::string big(3 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  write_text(path("src"), big);
  write_text(path("dst"), std::string(5 << 20, 'z'));  // longer than the source
  ASSERT_EQ(copy_file(path("src"), path("dst")), FileError::ok);
  EXPECT_EQ(read_text(path("dst")), big);

  ASSERT_EQ(copy_file(path("src"), path("fresh")), FileError::ok);
  EXPECT_EQ(read_text(path("fresh")), big);
  EXPECT_EQ(copy_file(path("none"), path("dst")), FileError::not_found);
  EXPECT_EQ(read_text(path("dst")), big);  // a failed copy leaves the target alone
}

}  // namespace
}  // namespace korv::platform
