// Runs the built korvlog on real files and checks exit status and output.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "logstore/disklog.h"
#include "standin/logfile.h"
#include "test_support/shell.h"

namespace korv::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
void write_bytes(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()),
                                                             static_cast<std::streamsize>(b.size()));
}
std::string read_text(const fs::path& p) {
  std::ifstream in(p);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

class KorvlogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korv-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    log_ = dir_ / "log.dat";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // stdin is /dev/null: no terminal, so nobody is asked.
  CliRun korvlog(const std::string& args) {
    const std::string cmd = std::string(KORV_BIN_DIR) + "/korvlog " + args + " </dev/null >" +
                            (dir_ / "out").string() + " 2>" + (dir_ / "err").string();
    CliRun r;
    r.status = Shell(cmd);
    r.out = read_text(dir_ / "out");
    r.err = read_text(dir_ / "err");
    return r;
  }

  // Records with types 0x00010001, 0x00010002, 0x00010001, the second deleted.
  std::vector<standin::RecordLocation> make_log() {
    standin::LogFileWriter w;
    EXPECT_EQ(w.create(log_.string()), platform::FileError::ok);
    const Bytes payload(64, 0x5A);
    const std::uint32_t types[] = {0x00010001, 0x00010002, 0x00010001};
    for (std::uint32_t i = 0; i < 3; ++i) {
      standin::NewRecord r;
      r.type = types[i];
      r.flags = i == 1 ? kDiskLogRecordDeleted : 0;
      r.payload = payload;
      EXPECT_EQ(w.append(r), platform::FileError::ok);
    }
    std::vector<standin::RecordLocation> all;
    EXPECT_EQ(w.records(all), platform::FileError::ok);
    return all;
  }
  void zero(std::uint64_t offset, std::size_t length) {
    Bytes b = read_bytes(log_);
    std::fill(b.begin() + static_cast<std::ptrdiff_t>(offset),
              b.begin() + static_cast<std::ptrdiff_t>(offset + length), 0);
    write_bytes(log_, b);
  }

  fs::path dir_, log_;
};

TEST_F(KorvlogTest, UsageAndVersion) {
  const struct {
    const char* args;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {"--version", 0, "korvlog 1.5.8.0\n", ""},
      {"--help", 0, "Usage: korvlog COMMAND", ""},
      {"", 2, "", "Usage: korvlog COMMAND"},
      {"frobnicate x", 2, "", "unknown command 'frobnicate'"},
      {"info", 2, "", "Usage: korvlog info FILE"},
      {"info a b", 2, "", "Usage: korvlog info FILE"},
      {"info --help", 0, "Usage: korvlog info FILE", ""},
      {"repair --help", 0, "Usage: korvlog repair [--yes] FILE", ""},
      {"repair -o", 2, "", "Usage: korvlog repair"},
      {"repair --bogus x", 2, "", "Usage: korvlog repair"},
      {"info /nonexistent/x.dat", 3, "", "No such file"},
      {"repair --yes /nonexistent/x.dat", 3, "", "No such file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = korvlog(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(KorvlogTest, InfoOnCleanLog) {
  make_log();
  const CliRun r = korvlog("info " + log_.string());
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* line : {"Magic:               0xCF9BF378\n", "Header size:         56\n",
                           "Next record number:  3\n", "Data end:            356\n", "Gap counter:         0\n",
                           "Record chain:        clean\n", "Records:             3\n", "Deleted records:     1\n",
                           "Placeholders:        0\n", "  0x00010001  2\n", "  0x00010002  1\n", " UTC\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
}

TEST_F(KorvlogTest, InfoOnFilesThatDoNotOpen) {
  const auto recs = make_log();
  zero(recs[1].offset, 4);
  CliRun r = korvlog("info " + log_.string());
  EXPECT_EQ(r.status, 5);
  const std::string where = "broken at offset " + std::to_string(recs[1].offset) + ": wrong record magic";
  EXPECT_NE(r.out.find(where), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Records:             1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("breaks at offset"), std::string::npos);

  write_bytes(log_, Bytes(100, 7));
  r = korvlog("info " + log_.string());
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.err.find("Not a log file."), std::string::npos);
  EXPECT_EQ(r.out, "");
  r = korvlog("info " + dir_.string());
  EXPECT_EQ(r.status, 5);
}

// A log whose first record was lost to a gap is not recognised by its records;
// info says why and how to mend it, and after the repair names its kind.
TEST_F(KorvlogTest, InfoOnALogWhoseFirstRecordWasLost) {
  const auto recs = make_log();
  zero(recs[0].offset, recs[0].header.record_size);
  CliRun r = korvlog("info " + log_.string());
  EXPECT_NE(r.out.find("Log kind:            not recognised (its first record cannot be read; try: korvlog repair " +
                       log_.string() + ")"),
            std::string::npos)
      << r.out;
  ASSERT_EQ(korvlog("repair --yes " + log_.string()).status, 0);
  r = korvlog("info " + log_.string());
  EXPECT_EQ(r.out.find("not recognised"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Log kind:            "), std::string::npos) << r.out;
}

TEST_F(KorvlogTest, Repair) {
  struct Case {
    const char* name;
    std::function<void(const std::vector<standin::RecordLocation>&)> damage;
    const char* options;
    int status;
    bool changes;
    const char* out;
  };
  const Case cases[] = {
      {"intact", [](auto&) {}, "--yes", 0, false, "nothing to repair"},
      {"gap, declined without a terminal", [&](auto& r) { zero(r[1].offset, r[1].header.record_size); }, "", 1,
       false, "left unchanged"},
      {"gap, --yes", [&](auto& r) { zero(r[1].offset, r[1].header.record_size); }, "--yes", 0, true,
       "Placeholders written: 1\nThe log opens now."},
      {"junk", [&](auto& r) { zero(r[1].offset, 1); }, "--yes", 5, false, "Placeholders written: 0\nThe log still"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recs = make_log();
    c.damage(recs);
    const Bytes before = read_bytes(log_);
    const CliRun r = korvlog(std::string("repair ") + c.options + " " + log_.string());
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    const Bytes after = read_bytes(log_);
    EXPECT_EQ(after != before, c.changes);
    EXPECT_EQ(after.size(), before.size());
  }
}

// An investigator's evidence stays as it is: -o mends a new copy, never the file, never an
// existing file, and keeps no copy it could not mend.
TEST_F(KorvlogTest, RepairToACopyLeavesTheFileAsItIs) {
  const fs::path copy = log_.string() + ".mended";
  struct Case {
    const char* name;
    std::function<void(const std::vector<standin::RecordLocation>&)> damage;
    bool copyExists;
    int status;
    bool copyKept;
  };
  const Case cases[] = {
      {"gap", [&](auto& r) { zero(r[1].offset, r[1].header.record_size); }, false, 0, true},
      {"intact", [](auto&) {}, false, 0, true},
      {"junk", [&](auto& r) { zero(r[1].offset, 1); }, false, 5, false},
      {"copy exists", [&](auto& r) { zero(r[1].offset, r[1].header.record_size); }, true, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(copy);
    const auto recs = make_log();
    c.damage(recs);
    const Bytes before = read_bytes(log_);
    const Bytes other(100, 'x');
    if (c.copyExists) write_bytes(copy, other);
    const CliRun r = korvlog("repair -o " + copy.string() + " " + log_.string());
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(read_bytes(log_), before) << "the file itself is never changed";
    EXPECT_EQ(fs::exists(copy), c.copyKept);
    if (c.copyExists) {
      EXPECT_EQ(read_bytes(copy), other);
    } else if (c.copyKept) {
      EXPECT_EQ(read_bytes(copy).size(), before.size());
      EXPECT_TRUE(DiskLogOpen(copy.string(), DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED)) << "the copy opens";
    }
  }
  fs::remove(copy);
}

TEST_F(KorvlogTest, RepairNeverTouchesAFileWithoutTheHeaderMagic) {
  const Bytes junk(300, 0);
  write_bytes(log_, junk);
  const CliRun r = korvlog("repair --yes " + log_.string());
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.err.find("Not a log file."), std::string::npos);
  EXPECT_EQ(read_bytes(log_), junk);
}

TEST_F(KorvlogTest, RepairReportsAFileInUse) {
  const auto recs = make_log();
  zero(recs[1].offset, recs[1].header.record_size);
  standin::LogFileWriter product;
  ASSERT_EQ(product.open(log_.string()), platform::FileError::ok);
  const CliRun r = korvlog("repair --yes " + log_.string());
  EXPECT_EQ(r.status, 5);
  EXPECT_NE(r.err.find("in use"), std::string::npos) << r.err;
}

// The question comes before the writers' lock is taken: a product holding the lock (and
// going on writing) does not keep korvlog from asking, and a No leaves everything as it was.
TEST_F(KorvlogTest, RepairAsksBeforeTakingTheWritersLock) {
  const auto recs = make_log();
  zero(recs[1].offset, recs[1].header.record_size);
  const Bytes before = read_bytes(log_);
  standin::LogFileWriter product;
  ASSERT_EQ(product.open(log_.string()), platform::FileError::ok);
  const CliRun r = korvlog("repair " + log_.string());  // no terminal: the answer is No
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("left unchanged"), std::string::npos) << r.out;
  EXPECT_EQ(read_bytes(log_), before);
}

// Damage the repair cannot mend is named for what it is.
TEST_F(KorvlogTest, RepairSaysWhyAGapCannotBeMended) {
  struct Case {
    const char* name;
    std::uint64_t gap;  // zero bytes at the first record, to the data end
    const char* err;
  } cases[] = {
      {"longer than a record can be", (std::uint64_t{1} << 32) + 100, "is longer than 4 GiB"},
      {"shorter than a record header", 20, "is 20 bytes, shorter than a record header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(log_);
    {
      standin::LogFileWriter w;
      ASSERT_EQ(w.create(log_.string()), platform::FileError::ok);
      _DISKLOG_HEADER h = w.header();
      h.next_record_number = 1;
      h.data_end = h.header_size + c.gap;
      ASSERT_EQ(w.set_header(h), platform::FileError::ok);
    }
    fs::resize_file(log_, kDiskLogHeaderSize + c.gap);  // sparse: a hole of zeros
    const CliRun r = korvlog("repair --yes " + log_.string());
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(log_), kDiskLogHeaderSize + c.gap) << "the file keeps its length";
  }
}

}  // namespace
}  // namespace korv::test
