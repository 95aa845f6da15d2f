// Header-text parsing, severity classes and record time texts.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>

#include "logmodel/log_header.h"
#include "logmodel/record_time.h"
#include "logmodel/severity.h"
#include "platform/tz.h"

namespace {

struct HeaderCase {
  const char* name;
  std::u16string text;
  std::vector<std::pair<std::u16string, int>> columns;
};

TEST(HeaderText, Parses) {
  const HeaderCase cases[] = {
      {"example", u"Time=20,Module=20,Event=50,User=10",
       {{u"Time", 20}, {u"Module", 20}, {u"Event", 50}, {u"User", 10}}},
      {"edge", u"A,B=7,=3", {{u"A", 0}, {u"B", 7}, {u"", 3}}},
      {"empty", u"", {}},
      {"blanks and sign", u"A=  -12,B=+5,C= 9x", {{u"A", -12}, {u"B", 5}, {u"C", 9}}},
      {"no digits", u"A=,B=x1", {{u"A", 0}, {u"B", 0}}},
      {"second '=' ends the digits", u"A=1=2", {{u"A", 1}}},
      {"trailing comma", u"A=1,", {{u"A", 1}, {u"", 0}}},
      {"non-ASCII name", u"\u010cas=5", {{u"\u010cas", 5}}},
      {"overflow saturates", u"A=99999999999,B=-99999999999,C=2147483647,D=-2147483648",
       {{u"A", INT_MAX}, {u"B", INT_MIN}, {u"C", INT_MAX}, {u"D", INT_MIN}}},
  };
  for (const auto& c : cases) {
    const auto columns = ParseHeaderText(c.text);
    ASSERT_EQ(columns.size(), c.columns.size()) << c.name;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      EXPECT_EQ(columns[i].name, c.columns[i].first) << c.name << " #" << i;
      EXPECT_EQ(columns[i].width, c.columns[i].second) << c.name << " #" << i;
    }
  }
}

TEST(HeaderText, HeaderKeepsTextAndResets) {
  CLogHeader h;
  h.SetHeaderText(u"X=1,Y=2");
  EXPECT_EQ(h.m_strHeader, u"X=1,Y=2");
  ASSERT_EQ(h.m_columns.size(), 2u);
  h.Reset();
  EXPECT_TRUE(h.m_strHeader.empty());
  EXPECT_TRUE(h.m_columns.empty());
}

TEST(HeaderText, BuildWithoutModuleLeavesNoColumns) {
  for (std::uint32_t flags : {0x0u, 0x2u, 0x8u, 0x8000000Au}) {
    CLogHeader h;
    h.SetHeaderText(u"Old=1");
    h.m_nFlags = flags;
    EXPECT_FALSE(h.Build(nullptr, false)) << flags;
    EXPECT_TRUE(h.m_strHeader.empty()) << flags;
    EXPECT_TRUE(h.m_columns.empty()) << flags;
  }
}

TEST(Severity, ClassBoundaries) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0x00000000, 0x01}, {0x0FFFFFFF, 0x01}, {0x10000000, 0x02}, {0x3FFFFFFF, 0x02},
      {0x40000000, 0x04}, {0x7FFFFFFF, 0x04}, {0x80000000, 0x08}, {0x9FFFFFFF, 0x08},
      {0xA0000000, 0x10}, {0xFFFFFFFF, 0x10}};
  for (const auto& [level, cls] : cases) EXPECT_EQ(LevelClass(level), cls) << std::hex << level;
}

class RecordTime : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::setlocale(LC_TIME, nullptr);
    saved_ = old ? old : "C";
    std::setlocale(LC_TIME, "C");
  }
  void TearDown() override {
    korv::platform::set_process_utc_offset(0);
    std::setlocale(LC_TIME, saved_.c_str());
  }
  std::string saved_;
};

TEST_F(RecordTime, ShiftedByProcessZone) {
  using korv::platform::kTicksPerSecond;
  using korv::platform::kUnixEpochTicks;
  // 2026-12-08 10:00:00 UTC.
  const korv::platform::FileTime t = kUnixEpochTicks + 1796724000ULL * kTicksPerSecond;
  const struct {
    int east;
    const char16_t* text;
  } cases[] = {{0, u"2026-12-08 10:00:00"},
               {2, u"2026-12-08 12:00:00"},
               {-11, u"2026-12-07 23:00:00"},
               {14, u"2026-12-09 00:00:00"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(korv::platform::set_process_utc_offset(c.east));
    EXPECT_EQ(FormatRecordTime(t), c.text) << c.east;
  }
  std::u16string date, clock;
  korv::platform::set_process_utc_offset(2);
  ASSERT_TRUE(FormatRecordDateTime(t, date, clock));
  EXPECT_EQ(date, u"2026-12-08");
  EXPECT_EQ(clock, u"12:00:00");
}

TEST_F(RecordTime, OutOfRangeShiftGivesEmptyText) {
  korv::platform::set_process_utc_offset(-5);  // five hours west: subtracts
  EXPECT_EQ(FormatRecordTime(0), u"");
  EXPECT_EQ(FormatRecordTime(5ULL * 3600 * 10000000ULL), u"1601-01-01 00:00:00");
  korv::platform::set_process_utc_offset(5);
  EXPECT_EQ(FormatRecordTime(~0ULL), u"");
  EXPECT_EQ(FormatRecordTime((1ULL << 63) - 1), u"");  // shifted past the calendar's range
}

}  // namespace
