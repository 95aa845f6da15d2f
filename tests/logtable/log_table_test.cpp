#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "logmodel/log_type.h"
#include "service_process.h"

using korv::testing::ObjectRoot;
using korv::testing::ServiceProcess;

namespace {

std::set<int> Offered(const LogTable& table) {
  std::set<int> offered;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (nsLog::IsOfferedInLogsMenu(table[i])) offered.insert(static_cast<int>(i));
  }
  return offered;
}

void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  std::memcpy(v.data() + at, &x, 4);
}

// A reply body with the given entries and count field.
std::vector<std::uint8_t> Reply(std::vector<std::pair<std::int32_t, std::int32_t>> entries,
                                std::uint32_t count, std::size_t cut = 0) {
  std::vector<std::uint8_t> v(12 + entries.size() * kLogKindEntrySize, 0);
  Put32(v, 8, count);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Put32(v, 12 + i * kLogKindEntrySize, static_cast<std::uint32_t>(entries[i].first));
    Put32(v, 16 + i * kLogKindEntrySize, static_cast<std::uint32_t>(entries[i].second));
  }
  v.resize(v.size() - cut);
  return v;
}

TEST(LogTable, EntriesKeepTheirOrderNamesAndKeys) {
  LogTable table = korv::MakeLogTable({});
  ASSERT_EQ(table.size(), 28u);
  struct Case {
    int index, type_id;
    std::uint32_t record_type, flags;
    int entry_kind;
    const char *file, *display, *key;
  } cases[] = {
      {0, 12, 0xFFFFFFFF, 0x6, 0, "serverondemand", "Server scan", "serverondemand\\dir"},
      {1, 3, 0xFFFFFFFF, 0x6, 0, "escan", "Computer scan", "escan\\dir"},
      {2, 3, 0xFFFFFFFF, 0x6, 2, "*", "Computer scan", "escan"},
      {3, 12, 0x0001000B, 0x8, 3, "ndl.dat", "Server scan", "serverondemand"},
      {4, 3, 0x00010001, 0x2, 3, "ndl.dat", "Computer scan", "escan"},
      {5, 1, 0x00010001, 0x2, 0, "virlog.dat", "Detections", "virlog"},
      {6, 1, 0x00010001, 0x80000002, 0, "threatlog.dat", "Detections | MAC", "threatlog"},
      {10, 6, 0xFFFFFFFF, 0x8, 0, "greylistlog.dat", "Grey list", "greylistlog"},
      {19, 4, 0x00010003, 0x80000008, 0, "firewall.dat", "Personal firewall | MAC", "firewall"},
      {21, 12, 0x0001000B, 0x8, 1, "srvondemand.dat", "Server scan", "srvondemand"},
      {27, 25, 0x00010014, 0x8, 0, "bpplog.dat", "BP protection", "bpplog"},
  };
  for (const Case& c : cases) {
    const LOG_INFO& e = table[static_cast<std::size_t>(c.index)];
    EXPECT_EQ(e.m_nServiceValue, -1) << c.index;
    EXPECT_EQ(e.m_nTypeId, c.type_id) << c.index;
    EXPECT_EQ(e.m_dwRecordType, c.record_type) << c.index;
    EXPECT_EQ(e.m_dwFlags, c.flags) << c.index;
    EXPECT_EQ(e.m_nEntryKind, c.entry_kind) << c.index;
    EXPECT_EQ(e.m_strFileName, c.file) << c.index;
    EXPECT_EQ(e.m_strDisplayName, c.display) << c.index;
    EXPECT_EQ(e.m_strKey, c.key) << c.index;
  }
  EXPECT_TRUE(Offered(table).empty()) << "nothing without the service";
}

TEST(LogTable, MenuOffersReportedKindsWithoutMacVariants) {
  LogTable table = korv::MakeLogTable({{1, 0x1001}, {2, 77}, {6, 0}});
  EXPECT_EQ(Offered(table), (std::set<int>{5, 7}));
  EXPECT_EQ(table[5].m_nServiceValue, 0x1001);
  EXPECT_EQ(table[6].m_nServiceValue, 0x1001) << "MAC variant: value set, not offered";
  EXPECT_EQ(table[8].m_nServiceValue, 77);
  EXPECT_EQ(table[10].m_nServiceValue, -1) << "a value of 0 is not a report";
  // Entries 2 and 4 (entry kind bit 1) serve recognition only.
  table = korv::MakeLogTable({{3, 5}});
  EXPECT_EQ(Offered(table), (std::set<int>{1}));
  EXPECT_EQ(table[4].m_nServiceValue, 5);
}

TEST(LogTable, ReplyParsing) {
  using Map = std::map<std::int32_t, std::int32_t>;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> reply;
    Map expected;
  } cases[] = {
      {"shorter than 12 bytes", std::vector<std::uint8_t>(11, 0), {}},
      {"no entries", Reply({}, 0), {}},
      {"two entries", Reply({{1, 10}, {2, 20}}, 2), {{1, 10}, {2, 20}}},
      {"count below what is there", Reply({{1, 10}, {2, 20}}, 1), {{1, 10}}},
      {"count far beyond the reply", Reply({{1, 10}, {2, 20}}, 0x10000000), {{1, 10}, {2, 20}}},
      {"count 0xFFFFFFFF", Reply({{4, 40}}, 0xFFFFFFFF), {{4, 40}}},
      {"last entry cut short", Reply({{1, 10}, {2, 20}}, 2, 1), {{1, 10}}},
      {"later entry replaces earlier", Reply({{1, 10}, {1, 11}}, 2), {{1, 11}}},
  };
  for (const Case& c : cases) EXPECT_EQ(korv::ParseLogKindReply(c.reply), c.expected) << c.what;
}

class ServiceTable : public ::testing::Test {
 protected:
  std::set<int> BuildWith(std::vector<std::string> args) {
    ServiceProcess service(std::move(args));
    EXPECT_TRUE(service.running());
    nsLog::BuildLogTable();
    return Offered(*nsLog::GetLogTable());
  }
  ObjectRoot root_;
};

TEST_F(ServiceTable, ReportedTypeIdsAreOffered) {
  EXPECT_EQ(BuildWith({"--types", "1,2"}), (std::set<int>{5, 7}));
  EXPECT_EQ(nsLog::GetLogTable()->at(6).m_nServiceValue, 0x1001);
  EXPECT_EQ(BuildWith({}), (std::set<int>{0, 1, 5, 7, 9, 10, 11, 12, 14, 16, 17, 18, 20, 21,
                                          22, 23, 24, 25, 26, 27}));
  EXPECT_EQ(BuildWith({"--types", "none"}), std::set<int>{});
}

TEST_F(ServiceTable, WithoutUsableAnswersNothingIsOffered) {
  struct Case {
    std::vector<std::string> args;
    std::set<int> offered;
  } cases[] = {
      {{"--status", "99"}, {}},
      {{"--command-status", "5"}, {}},  // always "too small": the doubling gives up
      {{"--command-status", "3"}, {}},
      {{"--fault", "short"}, {}},
      {{"--fault", "long-body"}, {}},
      {{"--fault", "small-view"}, {}},
      {{"--refuse"}, {}},
      {{"--types", "1,2", "--fault", "huge-count"}, {5, 7}},  // entries inside the reply count
  };
  for (const Case& c : cases) EXPECT_EQ(BuildWith(c.args), c.offered) << c.args.back();
  nsLog::BuildLogTable();  // no service at all
  EXPECT_TRUE(Offered(*nsLog::GetLogTable()).empty());
}

TEST_F(ServiceTable, RepliesBeyondTheFirstBufferAreFetchedByDoubling) {
  // 40 entries are 6,892 bytes: 2048 and 4096 answer 5, 8192 fits.
  std::string types;
  for (int i = 100; i < 139; ++i) types += std::to_string(i) + ",";
  types += "1";
  EXPECT_EQ(BuildWith({"--types", types}), (std::set<int>{5}));
}

TEST_F(ServiceTable, ReadersNeverSeeAHalfBuiltTable) {
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        auto table = nsLog::GetLogTable();
        if (table->size() != 28 || table->at(27).m_strFileName != "bpplog.dat") ++bad;
        if (nsLog::GetDisplayName(5) != "Detections" || !nsLog::GetFileName(28).empty()) ++bad;
      }
    });
  }
  for (int i = 0; i < 50; ++i) nsLog::BuildLogTable();
  stop = true;
  for (auto& r : readers) r.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(nsLog::GetFileName(-1), "");
}

}  // namespace
