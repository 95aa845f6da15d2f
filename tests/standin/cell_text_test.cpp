// Cell texts of fields: addresses, numbers, messages in three languages.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "standin/cell_text.h"
#include "standin/languages.h"
#include "standin/messages.h"
#include "standin/utf.h"

namespace korv::standin {
namespace {

std::string utf8(const std::u16string& s) { return utf16_to_utf8(s); }

std::array<uint8_t, 16> v6(std::initializer_list<uint16_t> groups) {
  std::array<uint8_t, 16> b{};
  size_t i = 0;
  for (uint16_t g : groups) {
    b[i++] = static_cast<uint8_t>(g >> 8);
    b[i++] = static_cast<uint8_t>(g);
  }
  return b;
}

TEST(CellText, Ipv6FollowsRfc5952) {
  struct Case {
    std::array<uint8_t, 16> addr;
    const char* expected;
  };
  const Case cases[] = {
      {v6({0, 0, 0, 0, 0, 0, 0, 0}), "::"},
      {v6({0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
      {v6({0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}), "2001:db8::1"},
      {v6({0x2001, 0xdb8, 0, 0, 0, 0, 2, 1}), "2001:db8::2:1"},
      // a single zero group stays
      {v6({0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}), "2001:db8:0:1:1:1:1:1"},
      // the longer run wins
      {v6({0x2001, 0, 0, 1, 0, 0, 0, 1}), "2001:0:0:1::1"},
      // on a tie the first run
      {v6({0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1"},
      {v6({0xfe80, 0, 0, 0, 0x1ff, 0xfe23, 0x4567, 0x890a}), "fe80::1ff:fe23:4567:890a"},
      {v6({0xABCD, 0xEF01, 0x2345, 0x6789, 0xABCD, 0xEF01, 0x2345, 0x6789}),
       "abcd:ef01:2345:6789:abcd:ef01:2345:6789"},
      {v6({1, 0, 0, 0, 0, 0, 0, 0}), "1::"},
      {v6({0, 0, 1, 0, 0, 0, 0, 0}), "0:0:1::"},
      {v6({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0280}), "::ffff:192.0.2.128"},
      // not mapped: another prefix
      {v6({0, 0, 0, 0, 1, 0xffff, 0xc000, 0x0280}), "::1:ffff:c000:280"},
  };
  for (const Case& c : cases) EXPECT_EQ(utf8(format_address(c.addr)), c.expected) << c.expected;
}

TEST(CellText, FieldKinds) {
  const uint8_t text[] = {'a', 0, 0x0D, 0x01, 0, 0, 'z', 0};  // "ač" then a NUL, then "z"
  const uint8_t u4[] = {0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t u8[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t ip4[] = {10, 0, 255, 1};
  const uint8_t msg_known[] = {kMsgBlocked, 0, 0, 0};
  const uint8_t msg_unknown[] = {0x39, 0x30, 0, 0};  // 12345
  const uint8_t hex[] = {0x00, 0xAB, 0x7f};
  const uint8_t time[] = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    FieldView field;
    uint16_t lang;
    const char* expected;
  };
  const Case cases[] = {
      {{FieldKind::Text, text}, kLangEnglishUs, "ač"},
      {{FieldKind::Text, {}}, kLangEnglishUs, ""},
      {{FieldKind::Uint, u4}, kLangEnglishUs, "4294967295"},
      {{FieldKind::Uint, u8}, kLangEnglishUs, "18446744073709551615"},
      {{FieldKind::Addr, ip4}, kLangEnglishUs, "10.0.255.1"},
      {{FieldKind::Msg, msg_known}, kLangEnglishUs, "blocked"},
      {{FieldKind::Msg, msg_known}, kLangGerman, "blockiert"},
      {{FieldKind::Msg, msg_known}, kLangCzech, "zablokováno"},
      {{FieldKind::Msg, msg_known}, 1036, "blocked"},  // unserved language: English
      {{FieldKind::Msg, msg_unknown}, kLangCzech, "#12345"},
      {{FieldKind::Hex, hex}, kLangEnglishUs, "00ab7f"},
      {{FieldKind::Hex, {}}, kLangEnglishUs, ""},
      {{FieldKind::Time, time}, kLangEnglishUs, "T:578437695752307201"},
  };
  const TimeTextFn time_text = [](uint64_t ft, std::u16string& out) { out += utf8_to_utf16("T:" + std::to_string(ft)); };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8(format_cell(c.field, c.lang, time_text)), c.expected) << c.expected;
    // Appending keeps what was there before.
    std::u16string gathered = u"ab|";
    append_cell(c.field, c.lang, time_text, gathered);
    EXPECT_EQ(utf8(gathered), std::string("ab|") + c.expected);
  }
  EXPECT_EQ(format_cell({FieldKind::Time, time}, kLangEnglishUs, nullptr), u"");
}

TEST(Messages, EveryKnownIdHasATextInEveryLanguage) {
  // Czech texts carry diacritics often enough that non-ASCII text is exercised.
  int non_ascii_czech = 0;
  for (uint32_t id = 0; id < 200; ++id) {
    if (!message_known(id)) {
      EXPECT_EQ(message_text(id, kLangEnglishUs), u"#" + utf8_to_utf16(std::to_string(id)));
      continue;
    }
    for (uint16_t lang : kLanguages) EXPECT_FALSE(message_text(id, lang).empty()) << id;
    for (char16_t c : message_text(id, kLangCzech)) {
      if (c > 0x7F) {
        ++non_ascii_czech;
        break;
      }
    }
  }
  EXPECT_GT(non_ascii_czech, 30);
}

TEST(Utf, ConversionsAndBadInput) {
  EXPECT_EQ(utf8_to_utf16("Čas \xF0\x9F\x98\x80"), u"Čas \U0001F600");
  EXPECT_EQ(utf16_to_utf8(u"Čas \U0001F600"), "Čas \xF0\x9F\x98\x80");
  EXPECT_EQ(utf8_to_utf16("a\xC3"), u"a\uFFFD");           // cut sequence at the end
  EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), u"\uFFFD\uFFFD");    // overlong
  EXPECT_EQ(utf8_to_utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace korv::standin
