// korvlog-write run as a program on temporary files, checked by the bytes it leaves.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/file.h"
#include "platform/filetime.h"
#include "standin/log_kinds.h"
#include "standin/payload.h"

namespace korv::standin {
namespace {

namespace fs = std::filesystem;

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
uint64_t get64(const std::vector<uint8_t>& b, size_t at) { return get32(b, at) | uint64_t{get32(b, at + 4)} << 32; }

// The fields of a log file, read straight from its bytes.
struct Header {
  uint32_t magic, header_size, next;
  uint64_t data_end, created, modified, rewritten;
  uint32_t gaps;
  uint64_t reserved;
};
struct Record {
  uint64_t offset;
  uint32_t magic, size, payload_offset, type, number;
  uint64_t time;
  uint32_t flags, aux;
  std::vector<uint8_t> payload;
};

std::vector<uint8_t> read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Header header_of(const std::vector<uint8_t>& b) {
  EXPECT_GE(b.size(), 56u);
  if (b.size() < 56) return {};
  return {get32(b, 0), get32(b, 4), get32(b, 8), get64(b, 12), get64(b, 20),
          get64(b, 28), get64(b, 36), get32(b, 44), get64(b, 48)};
}

// Walks the chain; stops at anything that is not a whole record.
std::vector<Record> records_of(const std::vector<uint8_t>& b) {
  std::vector<Record> out;
  const Header h = header_of(b);
  uint64_t at = h.header_size;
  while (at + 36 <= b.size() && at < h.data_end) {
    Record r{at, get32(b, at), get32(b, at + 4), get32(b, at + 8), get32(b, at + 12), get32(b, at + 16),
             get64(b, at + 20), get32(b, at + 28), get32(b, at + 32), {}};
    if (r.magic != 0x638BCFDC || r.size < 36 || at + r.size > b.size()) break;
    r.payload.assign(b.begin() + static_cast<std::ptrdiff_t>(at + 36), b.begin() + static_cast<std::ptrdiff_t>(at + r.size));
    out.push_back(std::move(r));
    at += out.back().size;
  }
  return out;
}

// A payload's content apart from its TIME fields, which follow the record
// times and so the clock.
std::vector<std::vector<uint8_t>> without_times(const std::vector<uint8_t>& payload) {
  std::vector<RowView> rows;
  EXPECT_EQ(decode_payload(payload, &rows), PayloadResult::Ok);
  std::vector<std::vector<uint8_t>> out;
  for (const RowView& r : rows) {
    out.push_back({static_cast<uint8_t>(r.level), static_cast<uint8_t>(r.level >> 24)});
    for (const FieldView& f : r.fields) {
      if (f.kind == FieldKind::Time) continue;
      out.emplace_back(f.data.begin(), f.data.end());
      out.back().push_back(static_cast<uint8_t>(f.kind));
    }
  }
  return out;
}

class WriterProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korvlog-write-test-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the writer with these arguments (and stdin from a file when given).
  int run(const std::string& args, const std::string& stdin_text = {}) {
    std::string cmd = std::string(KORV_BIN_DIR) + "/korvlog-write " + args;
    if (!stdin_text.empty()) {
      const fs::path in = dir_ / "stdin.txt";
      std::ofstream(in) << stdin_text;
      cmd += " < '" + in.string() + "'";
    }
    cmd += " >'" + (dir_ / "stdout.txt").string() + "' 2>'" + (dir_ / "stderr.txt").string() + "'";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string stderr_text() {
    const auto b = read_bytes(dir_ / "stderr.txt");
    return std::string(b.begin(), b.end());
  }
  std::string file(const char* name) { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(WriterProgram, CreateWritesTheEmptyHeader) {
  const uint64_t before = platform::filetime_now();
  ASSERT_EQ(run("create " + file("a.dat")), 0) << stderr_text();
  const auto b = read_bytes(file("a.dat"));
  ASSERT_EQ(b.size(), 56u);
  const Header h = header_of(b);
  EXPECT_EQ(h.magic, 0xCF9BF378u);
  EXPECT_EQ(h.header_size, 56u);
  EXPECT_EQ(h.next, 0u);
  EXPECT_EQ(h.data_end, 56u);
  EXPECT_GE(h.created, before);
  EXPECT_EQ(h.modified, h.created);
  EXPECT_EQ(h.rewritten, h.created);
  EXPECT_EQ(h.gaps, 0u);
  EXPECT_EQ(h.reserved, 0u);
}

TEST_F(WriterProgram, AppendChangesOnlyTheModificationTime) {
  ASSERT_EQ(run("create " + file("a.dat")), 0);
  const Header h0 = header_of(read_bytes(file("a.dat")));
  ASSERT_EQ(run("append " + file("a.dat") + " --kind warnlog --count 30 --deleted-every 7"), 0) << stderr_text();
  const auto b = read_bytes(file("a.dat"));
  const Header h = header_of(b);
  EXPECT_EQ(h.created, h0.created);
  EXPECT_GT(h.modified, h0.modified);
  EXPECT_EQ(h.rewritten, h0.rewritten);
  EXPECT_EQ(h.next, 30u);
  EXPECT_EQ(h.data_end, b.size());
  const auto recs = records_of(b);
  ASSERT_EQ(recs.size(), 30u);
  for (uint32_t i = 0; i < 30; ++i) {
    EXPECT_EQ(recs[i].number, i);
    EXPECT_EQ(recs[i].type, 0x00010002u);
    EXPECT_EQ(recs[i].payload_offset, 36u);
    EXPECT_EQ(recs[i].flags, (i + 1) % 7 == 0 ? 1u : 0u) << i;
    EXPECT_LE(recs[i].time, h.modified);
    std::vector<RowView> rows;
    EXPECT_EQ(decode_payload(recs[i].payload, &rows), PayloadResult::Ok) << i;
  }

  // A second append continues the numbering and again leaves the rewrite time.
  ASSERT_EQ(run("append " + file("a.dat") + " --kind warnlog --count 5"), 0);
  const Header h2 = header_of(read_bytes(file("a.dat")));
  EXPECT_EQ(h2.next, 35u);
  EXPECT_GT(h2.modified, h.modified);
  EXPECT_EQ(h2.rewritten, h0.rewritten);
}

TEST_F(WriterProgram, AppendWritesEveryKind) {
  for (const StandinLogKind& kind : standin_log_kinds()) {
    const std::string path = file((std::string(kind.key) + ".dat").c_str());
    ASSERT_EQ(run("append " + path + " --kind " + std::string(kind.key) + " --count 12 --seed 5"), 0)
        << kind.key << ": " << stderr_text();
    const auto recs = records_of(read_bytes(path));
    ASSERT_EQ(recs.size(), 12u) << kind.key;
    for (size_t i = 0; i < recs.size(); ++i) {
      const uint32_t expected = kind.scan && i == 0 ? kScanSummaryRecordType : kind.record_type;
      EXPECT_EQ(recs[i].type, expected) << kind.key << " " << i;
      std::vector<RowView> rows;
      EXPECT_EQ(decode_payload(recs[i].payload, &rows), PayloadResult::Ok) << kind.key << " " << i;
    }
  }
}

TEST_F(WriterProgram, SameSeedSamePayloads) {
  for (const char* name : {"a.dat", "b.dat"}) {
    ASSERT_EQ(run("append " + file(name) + " --kind virlog --count 20 --seed 99"), 0);
  }
  ASSERT_EQ(run("append " + file("c.dat") + " --kind virlog --count 20 --seed 100"), 0);
  const auto a = records_of(read_bytes(file("a.dat")));
  const auto b = records_of(read_bytes(file("b.dat")));
  const auto c = records_of(read_bytes(file("c.dat")));
  ASSERT_EQ(a.size(), 20u);
  ASSERT_EQ(b.size(), 20u);
  ASSERT_EQ(c.size(), 20u);
  int different = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(without_times(a[i].payload), without_times(b[i].payload)) << i;
    different += without_times(a[i].payload) != without_times(c[i].payload);
  }
  EXPECT_GT(different, 10);
}

TEST_F(WriterProgram, DeleteSetsFlagsAndBothTimes) {
  ASSERT_EQ(run("append " + file("a.dat") + " --kind epfwlog --count 10"), 0);
  const auto before = read_bytes(file("a.dat"));
  const Header h0 = header_of(before);
  ASSERT_EQ(run("delete " + file("a.dat") + " 2 7"), 0) << stderr_text();
  const auto after = read_bytes(file("a.dat"));
  const Header h = header_of(after);
  EXPECT_GT(h.modified, h0.modified);
  EXPECT_GT(h.rewritten, h0.rewritten);
  EXPECT_EQ(h.created, h0.created);
  EXPECT_EQ(h.next, h0.next);
  ASSERT_EQ(after.size(), before.size());
  // Outside the header, only the flag words of records 2 and 7 changed.
  const auto recs = records_of(after);
  std::set<size_t> changed;
  for (size_t i = 56; i < after.size(); ++i) {
    if (after[i] != before[i]) changed.insert(i);
  }
  EXPECT_EQ(changed, (std::set<size_t>{recs[2].offset + 28, recs[7].offset + 28}));
  EXPECT_EQ(recs[2].flags, 1u);
  EXPECT_EQ(recs[7].flags, 1u);

  EXPECT_EQ(run("delete " + file("a.dat") + " 10"), 1);  // no such record
  EXPECT_NE(stderr_text().find("no record 10"), std::string::npos);
}

TEST_F(WriterProgram, GapZerosWholeRecords) {
  ASSERT_EQ(run("append " + file("a.dat") + " --kind hipslog --count 10"), 0);
  const auto before = read_bytes(file("a.dat"));
  const auto recs = records_of(before);
  const Header h0 = header_of(before);
  ASSERT_EQ(run("gap " + file("a.dat") + " 3 4 8"), 0) << stderr_text();
  const auto after = read_bytes(file("a.dat"));
  const Header h = header_of(after);
  EXPECT_GT(h.modified, h0.modified);
  EXPECT_GT(h.rewritten, h0.rewritten);
  EXPECT_EQ(h.next, h0.next);
  EXPECT_EQ(h.data_end, h0.data_end);
  for (size_t i = 56; i < after.size(); ++i) {
    const bool in_gap = (i >= recs[3].offset && i < recs[5].offset) || (i >= recs[8].offset && i < recs[9].offset);
    if (in_gap) {
      ASSERT_EQ(after[i], 0) << i;
    } else {
      ASSERT_EQ(after[i], before[i]) << i;
    }
  }
  // A number past the first gap can no longer be reached.
  EXPECT_EQ(run("gap " + file("a.dat") + " 9"), 1);
  EXPECT_EQ(read_bytes(file("a.dat")), after);
}

TEST_F(WriterProgram, AppendJsonWritesExactlyWhatItIsGiven) {
  const std::string input =
      R"({"type":"0x00010002","time":"2026-12-08 14:03:05","aux":77,"rows":[{"level":"0xA0000000","fields":[{"text":"Jádro"},{"msg":58}]}]})"
      "\n\n"
      R"({"type":65538,"time":133000000000000000,"flags":1,"payload_hex":"0200"})"
      "\n";
  ASSERT_EQ(run("append-json " + file("a.dat"), input), 0) << stderr_text();
  const auto recs = records_of(read_bytes(file("a.dat")));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].type, 0x00010002u);
  EXPECT_EQ(platform::filetime_to_utc_text(recs[0].time), "2026-12-08 14:03:05");
  EXPECT_EQ(recs[0].aux, 77u);
  EXPECT_EQ(recs[0].flags, 0u);
  const std::vector<uint8_t> expected = {1, 0, 1, 0,                            // version, one row
                                         0, 0, 0, 0xA0, 2, 0,                   // level, two fields
                                         1, 0, 10, 0, 'J', 0, 0xE1, 0, 'd', 0, 'r', 0, 'o', 0,
                                         5, 0, 4, 0, 58, 0, 0, 0};
  EXPECT_EQ(recs[0].payload, expected);
  EXPECT_EQ(recs[1].time, 133000000000000000ull);
  EXPECT_EQ(recs[1].flags, 1u);
  EXPECT_EQ(recs[1].payload, (std::vector<uint8_t>{2, 0}));
  EXPECT_EQ(recs[1].aux, 78u) << "no aux given: one more than the largest in the file";
}

// Every record a writer makes can be told apart by its auxiliary value, across
// separate runs on one file and after records given an explicit value.
TEST_F(WriterProgram, EveryWrittenRecordGetsItsOwnAuxiliaryValue) {
  const struct {
    std::string command;
    std::string input;
  } steps[] = {
      {"append " + file("a.dat") + " --kind warnlog --count 20", ""},
      {"append-json " + file("a.dat"), R"({"type":"0x00010002","aux":500,"payload_hex":"0200"})" "\n"},
      {"append " + file("a.dat") + " --kind warnlog --count 5", ""},
      {"append-json " + file("a.dat"), R"({"type":"0x00010002","payload_hex":"0200"})" "\n"},
  };
  for (const auto& step : steps) {
    ASSERT_EQ(run(step.command, step.input), 0) << step.command << ": " << stderr_text();
  }
  const auto recs = records_of(read_bytes(file("a.dat")));
  ASSERT_EQ(recs.size(), 27u);
  std::set<uint32_t> seen;
  for (const Record& r : recs) {
    EXPECT_TRUE(seen.insert(r.aux).second) << "aux " << r.aux << " twice";
    EXPECT_NE(r.aux, 0xFFFFFFFFu);
  }
  EXPECT_EQ(recs[19].aux, 20u);
  EXPECT_EQ(recs[20].aux, 500u);
  EXPECT_EQ(recs[21].aux, 501u);
  EXPECT_EQ(recs[26].aux, 506u);
}

TEST_F(WriterProgram, AppendJsonRefusesBadInputAndLeavesTheLog) {
  ASSERT_EQ(run("append " + file("a.dat") + " --kind warnlog --count 3"), 0);
  const auto before = read_bytes(file("a.dat"));
  const std::string input = R"({"type":1,"payload_hex":""})" "\n" R"({"type":1,"rows":[{"level":0}],})" "\n";
  EXPECT_EQ(run("append-json " + file("a.dat"), input), 1);
  EXPECT_NE(stderr_text().find("line 2"), std::string::npos) << stderr_text();
  EXPECT_EQ(read_bytes(file("a.dat")), before);
}

TEST_F(WriterProgram, UsageAndFailures) {
  std::ofstream(file("text.dat")) << "not a log";
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"", 2},
      {"frobnicate x", 2},
      {"create", 2},
      {"append " + file("n.dat") + " --count 3", 2},
      {"append " + file("n.dat") + " --kind nosuch --count 3", 2},
      {"append " + file("n.dat") + " --kind virlog --count -1", 2},
      {"append " + file("n.dat") + " --kind virlog --count 3 --rate 0/s", 2},
      {"append " + file("n.dat") + " --kind virlog --count 3 --deleted-every 0", 2},
      {"append " + file("n.dat") + " --kind virlog --count", 2},
      {"delete " + file("n.dat"), 2},
      {"delete " + file("n.dat") + " x", 2},
      {"gap " + file("n.dat") + " 4294967296", 2},
      {"append " + file("text.dat") + " --kind virlog --count 3", 1},
      {"delete " + file("text.dat") + " 0", 1},
      {"--help", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.args), c.status) << c.args;
  EXPECT_FALSE(fs::exists(file("n.dat")));
  EXPECT_EQ(read_bytes(file("text.dat")).size(), 9u);  // a file that is not a log is left alone
}

TEST_F(WriterProgram, HeldWriterLockMakesItFail) {
  ASSERT_EQ(run("create " + file("a.dat")), 0);
  platform::File other;
  ASSERT_EQ(other.open(file("a.dat"), platform::FileMode::write), platform::FileError::ok);
  EXPECT_EQ(run("append " + file("a.dat") + " --kind virlog --count 3"), 1);
  other.close();
  EXPECT_EQ(run("append " + file("a.dat") + " --kind virlog --count 3"), 0);
}

TEST_F(WriterProgram, PacedAppend) {
  ASSERT_EQ(run("append " + file("a.dat") + " --kind urllog --count 3 --rate 200/s"), 0) << stderr_text();
  const auto recs = records_of(read_bytes(file("a.dat")));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_LE(recs[0].time, recs[1].time);
  EXPECT_LE(recs[1].time, recs[2].time);
}

TEST_F(WriterProgram, DemoTree) {
  ASSERT_EQ(run("demo " + dir_.string() + "/demo --count 40"), 0) << stderr_text();
  const fs::path root = dir_ / "demo";
  const auto ini = read_bytes(root / "hklm.ini");
  const std::string ini_text(ini.begin(), ini.end());
  EXPECT_NE(ini_text.find("[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\n"), std::string::npos);
  EXPECT_NE(ini_text.find("AppDataDir=" + (root / "AppData").string() + "/\n"), std::string::npos);

  std::set<int> type_ids;
  for (const StandinLogKind& kind : standin_log_kinds()) {
    const fs::path p = root / "AppData" / "Logs" / kind.file_name;
    if (kind.mac) {
      EXPECT_FALSE(fs::exists(p)) << kind.key;
      continue;
    }
    type_ids.insert(kind.type_id);
    if (kind.directory) {
      int scans = 0;
      for (const auto& entry : fs::directory_iterator(p)) {
        const auto recs = records_of(read_bytes(entry.path()));
        ASSERT_FALSE(recs.empty()) << entry.path();
        EXPECT_EQ(recs[0].type, kScanSummaryRecordType) << entry.path();
        for (size_t i = 1; i < recs.size(); ++i) EXPECT_EQ(recs[i].type, kind.record_type);
        ++scans;
      }
      EXPECT_GE(scans, 2) << kind.key;
    } else {
      const auto b = read_bytes(p);
      EXPECT_EQ(records_of(b).size(), 40u) << kind.key;
      EXPECT_EQ(header_of(b).next, 40u) << kind.key;
    }
  }
  const std::vector<int> defaults = default_type_ids();
  EXPECT_EQ(type_ids, std::set<int>(defaults.begin(), defaults.end()));

  // The damaged log: a stretch of zero bytes where records were.
  const auto damaged = read_bytes(root / "damaged" / "warnlog.dat");
  const Header h = header_of(damaged);
  const auto recs = records_of(damaged);
  EXPECT_EQ(h.next, 40u);
  ASSERT_EQ(recs.size(), 20u);  // the walk stops at the gap
  const uint64_t gap_at = recs.back().offset + recs.back().size;
  EXPECT_EQ(get32(damaged, gap_at), 0u);
  EXPECT_LT(gap_at, h.data_end);
}

}  // namespace
}  // namespace korv::standin
