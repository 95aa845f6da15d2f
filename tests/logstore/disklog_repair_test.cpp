#include "log_fixture.h"

namespace korv::test {
namespace {

using DiskLogRepairTest = LogTest;

struct Expectation {
  bool result;
  std::vector<std::uint32_t> placeholders_at_records;  // records that became gaps, in file order
};

// The bytes a repair must leave: the old bytes, with a placeholder header at
// each gap and the header's next record number and gap counter raised.
Bytes expected_after(const Bytes& before, const std::vector<std::pair<std::uint64_t, std::uint32_t>>& gaps) {
  Bytes b = before;
  unsigned char head[56];
  std::copy(b.begin(), b.begin() + 56, head);
  _DISKLOG_HEADER h = decode_disklog_header(head);
  for (const auto& [start, length] : gaps) {
    _DISKLOG_RECORD_HEADER p;
    p.magic = kDiskLogRecordMagic;
    p.record_size = length;
    p.payload_offset = 36;
    p.record_number = h.next_record_number++;
    p.record_flags = kDiskLogRecordDeleted;
    p.aux_value = h.gap_counter++;
    encode_record_header(p, b.data() + start);
  }
  encode_disklog_header(h, head);
  std::copy(head, head + 56, b.begin());
  return b;
}

// Puts the bytes of a log back together with extra bytes between records.
Bytes splice(const Bytes& log, std::uint64_t at, const Bytes& insert) {
  Bytes b(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(at));
  b.insert(b.end(), insert.begin(), insert.end());
  b.insert(b.end(), log.begin() + static_cast<std::ptrdiff_t>(at), log.end());
  const std::uint64_t end = b.size();
  for (int i = 0; i < 8; ++i) b[12 + i] = static_cast<unsigned char>(end >> (8 * i));
  return b;
}

bool repair(const std::string& path) {
  DiskLogHandle log = DiskLogOpen(path, DISKLOG_OPEN_WRITE);
  EXPECT_TRUE(log);
  return DiskLogRepair(log.get());
}

TEST_F(DiskLogRepairTest, MendsZeroGaps) {
  const struct {
    const char* name;
    std::vector<std::size_t> payloads;
    std::vector<std::uint32_t> zeroed;  // record numbers to punch out
    std::size_t zeros_past_end;         // zero bytes appended behind the data end
  } cases[] = {
      {"one gap of 100 bytes", {10, 64, 20}, {1}, 0},
      {"two gaps", {10, 64, 20, 30, 5}, {1, 3}, 0},
      {"adjacent lost records make one gap", {10, 64, 20, 5}, {1, 2}, 0},
      {"gap at the first record", {0, 8}, {0}, 0},
      {"gap at the last record, zeros past the data end left out", {10, 20, 30}, {2}, 64},
      {"zeros past the data end behind intact records left as they are", {10, 20, 30}, {1}, 66},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recs = make_log(c.payloads);
    {
      standin::LogFileWriter w;
      ASSERT_EQ(w.open(path_), platform::FileError::ok);
      _DISKLOG_HEADER h = w.header();
      h.gap_counter = 5;
      ASSERT_EQ(w.set_header(h), platform::FileError::ok);
    }
    for (std::uint32_t n : c.zeroed) fill_range(path_, recs[n].offset, recs[n].header.record_size);
    Bytes before = read_bytes(path_);
    before.resize(before.size() + c.zeros_past_end, 0);
    write_bytes(path_, before);

    std::vector<std::pair<std::uint64_t, std::uint32_t>> gaps;
    for (std::size_t i = 0; i < recs.size(); ++i) {
      const bool lost = std::find(c.zeroed.begin(), c.zeroed.end(), i) != c.zeroed.end();
      if (!lost) continue;
      const bool joins = i > 0 && !gaps.empty() && gaps.back().first + gaps.back().second == recs[i].offset;
      if (joins)
        gaps.back().second += recs[i].header.record_size;
      else
        gaps.push_back({recs[i].offset, recs[i].header.record_size});
    }
    // The zeros behind the data end are not the record area: the placeholder stops at the
    // data end, where the product appends next.

    ASSERT_TRUE(repair(path_));
    EXPECT_EQ(read_bytes(path_), expected_after(before, gaps));

    DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
    ASSERT_TRUE(log);
    const auto index = index_of(log.get());
    ASSERT_EQ(index.size(), recs.size() - c.zeroed.size() + gaps.size());
    std::uint32_t expected_number = static_cast<std::uint32_t>(recs.size());
    for (std::size_t i = 0; i < index.size(); ++i) {
      if (index[i].record_type != kDiskLogPlaceholderType) continue;
      EXPECT_EQ(index[i].record_number, expected_number++);
    }
    EXPECT_EQ(DiskLogHeader(log.get()).gap_counter, 5u + gaps.size());
    EXPECT_TRUE(repair(path_));  // the mended log needs nothing more
    EXPECT_EQ(read_bytes(path_), expected_after(before, gaps));
  }
}

TEST_F(DiskLogRepairTest, RecordsAppendedAfterARepairShow) {
  // A crash lost two appends: the header took in the first (its data end is behind it) but
  // both records' bytes are zeros, and the second one's zeros run on past the data end.
  const auto recs = make_log({10, 64, 40});
  {
    standin::LogFileWriter w;
    ASSERT_EQ(w.open(path_), platform::FileError::ok);
    _DISKLOG_HEADER h = w.header();
    h.data_end = recs[2].offset;  // the header never learnt of record 2
    h.next_record_number = 2;
    ASSERT_EQ(w.set_header(h), platform::FileError::ok);
  }
  fill_range(path_, recs[1].offset, recs[1].header.record_size + recs[2].header.record_size);
  ASSERT_FALSE(DiskLogOpen(path_, DISKLOG_OPEN_INDEX));
  const Bytes before = read_bytes(path_);
  ASSERT_TRUE(repair(path_));
  EXPECT_EQ(read_bytes(path_), expected_after(before, {{recs[1].offset, recs[1].header.record_size}}))
      << "one placeholder, exactly up to the data end";

  // The product goes on appending at the data end, then the log is opened again.
  {
    standin::LogFileWriter w;
    ASSERT_EQ(w.open(path_), platform::FileError::ok);
    for (std::uint32_t i = 0; i < 4; ++i) {
      const Bytes p = payload_of(30 + i, 100 + i);
      standin::NewRecord r;
      r.type = 0x00010002;
      r.aux = 500 + i;
      r.payload = p;
      ASSERT_EQ(w.append(r), platform::FileError::ok);
    }
    ASSERT_EQ(w.close(), platform::FileError::ok);
  }
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_INDEX | DISKLOG_OPEN_DELETED);
  ASSERT_TRUE(log) << "the repaired log still opens after the appends";
  const auto index = index_of(log.get());
  ASSERT_EQ(index.size(), 6u);
  EXPECT_EQ(index[0].record_type, recs[0].header.record_type);
  EXPECT_EQ(index[1].record_type, kDiskLogPlaceholderType);
  for (std::uint32_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(index[2 + i].record_number, 3 + i) << "numbers go on after the placeholder's";
    Bytes buffer(256);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    ASSERT_EQ(DiskLogReadRecord(log.get(), 2 + i, buffer.data(), size), kDiskLogOk);
    const _DISKLOG_RECORD_HEADER h = decode_record_header(buffer.data());
    EXPECT_EQ(h.aux_value, 500 + i);
    const Bytes expected = payload_of(30 + i, 100 + i);
    EXPECT_EQ(Bytes(buffer.begin() + 36, buffer.begin() + size), expected);
  }
  EXPECT_TRUE(repair(path_)) << "and needs no repair";
}

TEST_F(DiskLogRepairTest, RefusesDamageItCannotMend) {
  const struct {
    const char* name;
    std::function<Bytes(const Bytes&, const std::vector<standin::RecordLocation>&)> damage;
  } cases[] = {
      {"20-byte gap", [](auto& b, auto& r) { return splice(b, r[1].offset, Bytes(20, 0)); }},
      {"non-zero junk", [](auto& b, auto& r) { return splice(b, r[1].offset, Bytes(50, 0xAB)); }},
      {"zeros followed by junk",
       [](auto& b, auto& r) {
         Bytes junk(60, 0);
         junk[50] = 0x01;
         return splice(b, r[1].offset, junk);
       }},
      {"record size below 36",
       [](auto& b, auto& r) {
         Bytes c = b;
         c[r[1].offset + 4] = 20;
         c[r[1].offset + 5] = c[r[1].offset + 6] = c[r[1].offset + 7] = 0;
         return c;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto recs = make_log({10, 20, 30});
    const Bytes damaged = c.damage(read_bytes(path_), recs);
    write_bytes(path_, damaged);
    EXPECT_FALSE(DiskLogOpen(path_, DISKLOG_OPEN_INDEX));
    EXPECT_FALSE(repair(path_));
    EXPECT_EQ(read_bytes(path_), damaged);
  }
}

TEST_F(DiskLogRepairTest, PlaceholdersBeforeAFailureStay) {
  const auto recs = make_log({10, 64, 20, 30});
  {
    standin::LogFileWriter w;
    ASSERT_EQ(w.open(path_), platform::FileError::ok);
    ASSERT_EQ(w.zero_record(1), platform::FileError::ok);
  }
  const Bytes before = read_bytes(path_);
  Bytes damaged = before;
  damaged[recs[3].offset] ^= 0x10;  // junk where the last record should start
  write_bytes(path_, damaged);
  EXPECT_FALSE(repair(path_));
  EXPECT_EQ(read_bytes(path_), expected_after(damaged, {{recs[1].offset, recs[1].header.record_size}}));
}

TEST_F(DiskLogRepairTest, IntactLogAndReadOnlyHandle) {
  make_log({1, 2, 3});
  const Bytes before = read_bytes(path_);
  EXPECT_TRUE(repair(path_));
  EXPECT_EQ(read_bytes(path_), before);
  DiskLogHandle read_only = DiskLogOpen(path_, 0);
  EXPECT_FALSE(DiskLogRepair(read_only.get()));
  make_log({});
  EXPECT_TRUE(repair(path_));
}

TEST_F(DiskLogRepairTest, SecondWriterRefusedWhileRepairing) {
  const auto recs = make_log({10, 64, 20});
  {
    standin::LogFileWriter w;
    ASSERT_EQ(w.open(path_), platform::FileError::ok);
    ASSERT_EQ(w.zero_record(1), platform::FileError::ok);
  }
  DiskLogHandle log = DiskLogOpen(path_, DISKLOG_OPEN_WRITE);
  ASSERT_TRUE(log);
  standin::LogFileWriter product;
  EXPECT_EQ(product.open(path_), platform::FileError::sharing_violation);
  EXPECT_TRUE(DiskLogRepair(log.get()));
  EXPECT_EQ(product.open(path_), platform::FileError::sharing_violation);
  DiskLogClose(log);
  EXPECT_EQ(product.open(path_), platform::FileError::ok);
}

}  // namespace
}  // namespace korv::test
