#include "logmodel/raw_texts.h"

namespace korv {
namespace {

constexpr std::u16string_view kSeparator = u" | ";
constexpr char16_t kEllipsis = u'\u2026';

// A UTF-16 unit taken as text. Only the scripts that logs are written in with a high byte
// that ASCII text does not produce: read one byte off, ASCII in UTF-16LE gives units such
// as 0x4100 and plain ASCII gives 0x6548 ("He"), and neither may pass for a letter. No
// control characters, no surrogates (a pair splits a text in two; a lone one ends it).
bool IsTextUnit(char16_t u) {
  if (u >= 0x20 && u <= 0x7E) return true;
  if (u >= 0xA0 && u <= 0x24F) return true;    // Latin-1 and Latin Extended-A and -B
  if (u >= 0x370 && u <= 0x52F) return true;   // Greek, Cyrillic
  if (u >= 0x590 && u <= 0x6FF) return true;   // Hebrew, Arabic
  if (u >= 0x1E00 && u <= 0x1EFF) return true; // Latin Extended Additional
  if (u >= 0x2010 && u <= 0x2027) return true; // dashes, quotes, bullet, ellipsis
  return u == 0x20AC;                          // euro sign
}

char16_t UnitAt(const std::uint8_t* p) { return char16_t(p[0] | p[1] << 8); }

// Length in units of the UTF-16LE text run at `at`, stopping once `enough` units are seen
// when the run is shorter than that (so a failed try costs at most `enough` units).
std::size_t Utf16Run(std::span<const std::uint8_t> b, std::size_t at) {
  std::size_t units = 0;
  while (b.size() - at >= 2 && IsTextUnit(UnitAt(b.data() + at))) {
    ++units;
    at += 2;
  }
  return units;
}

// One printable UTF-8 character at `at`: its length in bytes and code point, or 0. ASCII
// controls, C1 controls, overlong forms, surrogates and values past U+10FFFF are not text.
std::size_t Utf8Char(std::span<const std::uint8_t> b, std::size_t at, char32_t& cp) {
  const std::uint8_t c = b[at];
  if (c < 0x80) {
    cp = c;
    return c >= 0x20 && c <= 0x7E ? 1 : 0;
  }
  std::size_t n;
  char32_t min;
  if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F, min = 0x80;
  else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F, min = 0x800;
  else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07, min = 0x10000;
  else return 0;
  if (b.size() - at < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b[at + i] & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b[at + i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0) return 0;
  return n;
}

// Characters and bytes of the UTF-8 text run at `at`.
void Utf8Run(std::span<const std::uint8_t> b, std::size_t at, std::size_t& chars, std::size_t& bytes) {
  chars = bytes = 0;
  char32_t cp;
  while (at + bytes < b.size()) {
    const std::size_t n = Utf8Char(b, at + bytes, cp);
    if (n == 0) break;
    bytes += n;
    ++chars;
  }
}

// Appends while the limit allows; false once it is reached (the ellipsis is written then).
class BoundedText {
 public:
  BoundedText(std::u16string& out) : out_(out), limit_(out.size() + kRawTextLimit) {}
  bool Put(char16_t u) {
    if (out_.size() + 1 >= limit_) {
      out_.push_back(kEllipsis);
      full_ = true;
      return false;
    }
    out_.push_back(u);
    return true;
  }
  bool Full() const { return full_; }

 private:
  std::u16string& out_;
  std::size_t limit_;
  bool full_ = false;
};

}  // namespace

void AppendRawTexts(std::span<const std::uint8_t> payload, std::u16string& out) {
  BoundedText text(out);
  bool any = false;
  auto begin_text = [&] {
    if (any)
      for (char16_t u : kSeparator) text.Put(u);
    any = true;
  };
  std::size_t at = 0;
  // Each try at an offset either takes a run of at least kRawTextMinRun characters, and moves
  // past it, or fails after the few characters it saw and moves one byte on: each byte is
  // looked at a bounded number of times.
  while (at < payload.size() && !text.Full()) {
    const std::size_t units = Utf16Run(payload, at);
    if (units >= kRawTextMinRun) {
      begin_text();
      for (std::size_t i = 0; i < units && text.Put(UnitAt(payload.data() + at + 2 * i)); ++i) {
      }
      at += 2 * units;
      continue;
    }
    std::size_t chars, bytes;
    Utf8Run(payload, at, chars, bytes);
    if (chars >= kRawTextMinRun) {
      begin_text();
      char32_t cp;
      for (std::size_t i = 0; i < bytes && !text.Full();) {
        const std::size_t n = Utf8Char(payload, at + i, cp);
        if (cp < 0x10000) {
          text.Put(char16_t(cp));
        } else if (text.Put(char16_t(0xD800 + ((cp - 0x10000) >> 10)))) {
          text.Put(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
        i += n;
      }
      at += bytes;
      continue;
    }
    ++at;
  }
  if (any) return;
  static constexpr char16_t kHex[] = u"0123456789abcdef";
  const std::size_t n = payload.size() < kRawHexBytes ? payload.size() : kRawHexBytes;
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kHex[payload[i] >> 4]);
    out.push_back(kHex[payload[i] & 0xF]);
  }
}

}  // namespace korv
