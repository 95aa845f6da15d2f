// Column descriptions and the stand-in's kinds table.
#include <gtest/gtest.h>

#include "standin/columns.h"
#include "standin/languages.h"
#include "standin/log_kinds.h"
#include "standin/utf.h"

namespace korv::standin {
namespace {

std::string header(int type_id, int mode, uint16_t lang) { return utf16_to_utf8(header_text(type_id, mode, lang)); }

TEST(Columns, FixedKindsInEnglish) {
  EXPECT_EQ(header(2, kViewList, kLangEnglishUs), "Time=20,Module=20,Event=50,User=14");
  EXPECT_EQ(header(2, kViewRecord, kLangEnglishUs), "Module=20,Event=50,User=14");
  EXPECT_EQ(header(1, kViewRecord, kLangEnglishUs),
            "Scanner=22,Object type=12,Object=40,Detection=24,Action=16,User=14,Information=36,Hash=40,"
            "First seen here=20");
  EXPECT_EQ(data_columns(1, kViewList).size(), 9u);
}

TEST(Columns, TranslatedTitles) {
  EXPECT_EQ(header(2, kViewList, kLangGerman), "Zeit=20,Modul=20,Ereignis=50,Benutzer=14");
  EXPECT_EQ(header(2, kViewList, kLangCzech), "Čas=20,Modul=20,Událost=50,Uživatel=14");
  EXPECT_EQ(header(2, kViewList, 1036), header(2, kViewList, kLangEnglishUs));
}

TEST(Columns, ScanLogsListSummariesAndShowRecords) {
  for (int type_id : {3, 12}) {
    EXPECT_EQ(header(type_id, kViewList, kLangEnglishUs),
              "Time=20,Target=36,Started=20,Scanned=10,Detections=10,Result=20");
    EXPECT_EQ(data_columns(type_id, kViewRecord).size(), 6u);
  }
}

TEST(Columns, EveryKindInEveryModeAndLanguage) {
  for (const StandinLogKind& k : standin_log_kinds()) {
    ASSERT_TRUE(type_id_known(k.type_id)) << k.key;
    for (int mode : {kViewList, kViewRecord}) {
      const auto columns = data_columns(k.type_id, mode);
      ASSERT_FALSE(columns.empty()) << k.key;
      for (uint16_t lang : kLanguages) {
        const std::u16string text = header_text(k.type_id, mode, lang);
        size_t commas = 0;
        for (char16_t c : text) commas += c == u',';
        EXPECT_EQ(commas + 1, columns.size() + (mode == kViewList ? 1 : 0)) << k.key << " " << lang;
        for (const ColumnSpec& c : columns) {
          EXPECT_FALSE(c.title[0].empty()) << k.key;
          EXPECT_GT(c.width, 0) << k.key;
          // No title may break the header syntax.
          EXPECT_EQ(c.title[language_index(lang)].find_first_of(u",="), std::u16string_view::npos) << k.key;
        }
      }
    }
  }
}

TEST(Columns, UnknownTypeOrModeGivesNothing) {
  EXPECT_EQ(header(13, kViewList, kLangEnglishUs), "");
  EXPECT_EQ(header(1, 2, kLangEnglishUs), "");
  EXPECT_EQ(header(1, 0, kLangEnglishUs), "");
  EXPECT_FALSE(type_id_known(0));
}

TEST(LogKinds, KeysAndDefaults) {
  struct Case {
    const char* key;
    int type_id;
    uint32_t record_type;
  };
  const Case cases[] = {
      {"virlog", 1, 0x00010001},  {"VIRLOG", 1, 0x00010001}, {"warnlog", 2, 0x00010002},
      {"epfwlog", 4, 0x00010003}, {"escan", 3, 0x00010001},   {"escan\\dir", 3, 0x00010001},
      {"serverondemand/dir", 12, 0x0001000B}, {"bpplog", 25, 0x00010014}, {"firewall", 4, 0x00010003},
  };
  for (const Case& c : cases) {
    const StandinLogKind* k = find_log_kind(c.key);
    ASSERT_NE(k, nullptr) << c.key;
    EXPECT_EQ(k->type_id, c.type_id) << c.key;
    EXPECT_EQ(k->record_type, c.record_type) << c.key;
  }
  EXPECT_EQ(find_log_kind("nosuch"), nullptr);
  EXPECT_EQ(find_log_kind("virlog\\dir"), nullptr);  // not a directory kind
  EXPECT_EQ(default_type_ids(),
            (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 15, 17, 18, 19, 21, 22, 25}));
  EXPECT_EQ(find_log_kind_by_type(2)->key, "warnlog");
}

}  // namespace
}  // namespace korv::standin
