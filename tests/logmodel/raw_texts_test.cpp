// The readable texts of a payload shown raw: which runs count as text, in which order, and
// that hostile payloads give a bounded text.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logmodel/raw_texts.h"

namespace korv::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Utf16(std::u16string_view s) {
  Bytes b;
  for (char16_t u : s) {
    b.push_back(std::uint8_t(u & 0xFF));
    b.push_back(std::uint8_t(u >> 8));
  }
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

std::u16string Texts(const Bytes& payload) {
  std::u16string out;
  AppendRawTexts(payload, out);
  return out;
}

TEST(RawTexts, RunsInPayloadOrder) {
  const struct {
    const char* name;
    Bytes payload;
    std::u16string expected;
  } cases[] = {
      {"ascii", Ascii("Hello"), u"Hello"},
      {"utf16le", Utf16(u"Scanner"), u"Scanner"},
      {"utf16 at an odd offset", Cat({{0x07}, Utf16(u"C:\\temp")}), u"C:\\temp"},
      {"utf16 with diacritics", Utf16(u"Příliš žluťoučký"), u"Příliš žluťoučký"},
      {"utf8 with diacritics", Ascii("P\xc5\x99\xc3\xadli\xc5\xa1"), u"Příliš"},
      {"utf8 outside the BMP", Ascii("ab\xf0\x9f\x98\x80" "cd"), u"ab\U0001F600cd"},
      {"both kinds, in order",
       Cat({{2, 0, 1, 0}, Utf16(u"explorer.exe"), {0, 0, 0x11, 0x02}, Ascii("SYSTEM"), {0xFF}}),
       u"explorer.exe | SYSTEM"},
      {"exactly four", Cat({{0}, Ascii("abcd"), {0}}), u"abcd"},
      {"three are not a text, so hex", Cat({{0}, Ascii("abc"), {0}}), u"0061626300"},
      {"tab ends a text", Ascii("abcd\tefgh"), u"abcd | efgh"},
      {"C1 control in utf8 ends a text", Ascii("abcd\xc2\x85" "efgh"), u"abcd | efgh"},
      {"overlong utf8 ends a text", Ascii("abcd\xc0\xaf" "efgh"), u"abcd | efgh"},
      {"utf8 surrogate ends a text", Ascii("abcd\xed\xa0\x80" "efgh"), u"abcd | efgh"},
      {"lone utf16 surrogate ends a text", Cat({Utf16(u"abcd"), {0x00, 0xD8}, Utf16(u"efgh")}),
       u"abcd | efgh"},
      {"empty payload", {}, u""},
      {"no text: the first 32 bytes in hex", Bytes(40, 0xAB),
       u"abababababababababababababababababababababababababababababababab"},
      {"ASCII read one byte off is no UTF-16 text", Ascii("He"), u"4865"},
  };
  for (const auto& c : cases) EXPECT_EQ(Texts(c.payload), c.expected) << c.name;
}

// Payloads made to cost: each must end with a bounded text, which also shows the
// extraction went through them (no time is measured here; scripts/bench does that).
TEST(RawTexts, HostilePayloadsGiveBoundedTexts) {
  const std::size_t kBig = 4u << 20;
  Bytes nuls(kBig, 0);
  Bytes alternating(kBig);
  for (std::size_t i = 0; i < kBig; ++i) alternating[i] = i % 2 ? 0x00 : std::uint8_t('A' + i / 2 % 26);
  Bytes oneCharRuns;  // a million runs of one character, each ended by a byte no text takes
  for (int i = 0; i < 1000000; ++i) oneCharRuns.insert(oneCharRuns.end(), {std::uint8_t('x'), 0xFF});
  Bytes surrogates;  // UTF-16 text broken by a lone surrogate after every four letters
  for (std::size_t i = 0; i < kBig / 10; ++i) {
    const Bytes part = Utf16(i % 2 ? u"abcd\xD800" : u"abcd\xDC00");
    surrogates.insert(surrogates.end(), part.begin(), part.end());
  }
  Bytes invalid;  // a lead byte of a four-byte form followed by ASCII, over and over
  for (std::size_t i = 0; i < kBig / 4; ++i) invalid.insert(invalid.end(), {0xF0, 'a', 'b', 'c'});
  Bytes longText = Ascii(std::string(kBig, 'z'));

  const struct {
    const char* name;
    const Bytes& payload;
    bool hasText;
  } cases[] = {
      {"4 MiB of NULs", nuls, false},
      {"alternating bytes (one long UTF-16 text)", alternating, true},
      {"a million one-character runs", oneCharRuns, false},
      {"lone surrogates", surrogates, true},
      {"invalid UTF-8", invalid, false},
      {"one text of 4 MiB", longText, true},
  };
  for (const auto& c : cases) {
    const std::u16string out = Texts(c.payload);
    EXPECT_LE(out.size(), kRawTextLimit) << c.name;
    if (c.hasText) {
      EXPECT_EQ(out.size(), kRawTextLimit) << c.name;
      EXPECT_EQ(out.back(), u'\u2026') << c.name << ": a cut text says so";
    } else {
      EXPECT_EQ(out.size(), 2 * kRawHexBytes) << c.name << ": no text, so the first bytes in hex";
    }
  }
  // "abc" after each 0xF0 is three characters: not a text, and so none in the whole payload.
  EXPECT_EQ(Texts(invalid).substr(0, 8), u"f0616263");
  EXPECT_EQ(Texts(surrogates).substr(0, 13), u"abcd | abcd |");
}

}  // namespace
}  // namespace korv::test
