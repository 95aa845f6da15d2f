// The RTF reader over any bytes: the runs are valid UTF-8, adjacent runs
// differ in formatting, the plain text is the runs joined, and the output
// stays in proportion to the input (no blow-up from nesting or \u tricks).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "ui/rtf_reader.h"

namespace {

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    char32_t cp = 0;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return false;
    if (s.size() - i <= n) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read past the end is a sanitizer report.
  const std::vector<char> bytes(data, data + size);
  const std::vector<korv::RtfRun> runs = korv::ReadRtf(std::string_view(bytes.data(), bytes.size()));

  std::string joined;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    KORV_FUZZ_CHECK(valid_utf8(runs[i].text));
    if (i > 0) KORV_FUZZ_CHECK(runs[i].bold != runs[i - 1].bold || runs[i].italic != runs[i - 1].italic);
    joined += runs[i].text;
  }
  KORV_FUZZ_CHECK(korv::RtfPlainText(runs) == joined);
  // A Windows-1252 byte is at most three bytes of UTF-8, a \u pair four.
  KORV_FUZZ_CHECK(joined.size() <= 3 * size + 4);
  return 0;
}
