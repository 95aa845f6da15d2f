#include "platform/codepage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

namespace korv::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Reads one code point at text[i] and advances i; unpaired surrogates give U+FFFD.
char32_t NextCodePoint(std::u16string_view text, size_t& i) {
  const char16_t c = text[i++];
  if (IsHighSurrogate(c)) {
    if (i < text.size() && IsLowSurrogate(text[i])) {
      const char16_t low = text[i++];
      return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
    }
    return kReplacement;
  }
  if (IsLowSurrogate(c)) return kReplacement;
  return c;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out.push_back(char(cp));
  } else if (cp < 0x800) {
    out.push_back(char(0xC0 | (cp >> 6)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(char(0xE0 | (cp >> 12)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(char(0xF0 | (cp >> 18)));
    out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(char(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

bool IsAsciiCharset(const char* name) {
  return std::strcmp(name, "ANSI_X3.4-1968") == 0 || std::strcmp(name, "ASCII") == 0 ||
         std::strcmp(name, "US-ASCII") == 0;
}

// One iconv descriptor per thread and direction, reopened when the locale's character set
// changes. iconv state is not shareable between threads, hence thread_local.
class Converter {
 public:
  Converter(bool to_ansi) : to_ansi_(to_ansi) {}
  ~Converter() { Close(); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  iconv_t Get(const std::string& charset) {
    if (cd_ != reinterpret_cast<iconv_t>(-1) && charset == charset_) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
      return cd_;
    }
    Close();
    cd_ = to_ansi_ ? iconv_open(charset.c_str(), "UTF-16LE") : iconv_open("UTF-16LE", charset.c_str());
    charset_ = charset;
    return cd_;
  }

 private:
  void Close() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    cd_ = reinterpret_cast<iconv_t>(-1);
  }
  bool to_ansi_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::string charset_;
};

}  // namespace

void append_utf16_as_utf8(std::u16string_view text, std::string& out) {
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c < 0x80) {  // the common case of log texts
      out.push_back(char(c));
      ++i;
      continue;
    }
    AppendUtf8(NextCodePoint(text, i), out);
  }
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  append_utf16_as_utf8(text, out);
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      out.push_back(char16_t(kReplacement));
      ++i;
      continue;
    }
    if (n - i <= size_t(extra)) {
      out.push_back(char16_t(kReplacement));
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(char16_t(kReplacement));
      ++i;
      continue;
    }
    AppendUtf16(cp, out);
    i += size_t(extra) + 1;
  }
  return out;
}

std::string ansi_charset() {
  const char* name = nl_langinfo(CODESET);
  return name && *name ? name : "ANSI_X3.4-1968";
}

bool ansi_is_utf8() {
  const char* name = nl_langinfo(CODESET);
  return name && (std::strcmp(name, "UTF-8") == 0 || std::strcmp(name, "utf8") == 0);
}

void append_utf16_as_ansi(std::u16string_view text, std::string& out) {
  if (ansi_is_utf8()) {
    append_utf16_as_utf8(text, out);
    return;
  }
  append_utf16_as_charset(text, ansi_charset(), out);
}

void append_utf16_as_charset(std::u16string_view text, const std::string& charset, std::string& out) {
  if (charset == "UTF-8") {
    append_utf16_as_utf8(text, out);
    return;
  }
  if (IsAsciiCharset(charset.c_str())) {
    size_t i = 0;
    while (i < text.size()) {
      const char32_t cp = NextCodePoint(text, i);
      out.push_back(cp < 0x80 ? char(cp) : '?');
    }
    return;
  }
  thread_local Converter converter(true);
  iconv_t cd = converter.Get(charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {  // a set iconv does not know: keep ASCII only
    size_t i = 0;
    while (i < text.size()) {
      const char32_t cp = NextCodePoint(text, i);
      out.push_back(cp < 0x80 ? char(cp) : '?');
    }
    return;
  }
  // char16_t is little-endian on every target we build for, so the buffer is UTF-16LE.
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t in_left = text.size() * 2;
  char buf[4096];
  while (in_left > 0) {
    char* dst = buf;
    size_t dst_left = sizeof buf;
    const size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buf, size_t(dst - buf));
    if (rc != size_t(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ (not representable or an unpaired surrogate) or EINVAL (cut surrogate pair):
    // write '?' and step over one code point.
    out.push_back('?');
    const auto* p = reinterpret_cast<const char16_t*>(in);
    const size_t units = in_left / 2;
    size_t step = 1;
    if (units >= 2 && IsHighSurrogate(p[0]) && IsLowSurrogate(p[1])) step = 2;
    in += step * 2;
    in_left -= step * 2;
  }
  char* dst = buf;
  size_t dst_left = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);  // flush a stateful encoding's shift back
  out.append(buf, size_t(dst - buf));
}

std::string utf16_to_ansi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  append_utf16_as_ansi(text, out);
  return out;
}

std::u16string ansi_to_utf16(std::string_view text) {
  if (ansi_is_utf8()) return utf8_to_utf16(text);
  return charset_to_utf16(text, ansi_charset());
}

std::u16string charset_to_utf16(std::string_view text, const std::string& charset) {
  if (charset == "UTF-8") return utf8_to_utf16(text);
  std::u16string out;
  out.reserve(text.size());
  if (IsAsciiCharset(charset.c_str())) {
    for (unsigned char b : text) out.push_back(b < 0x80 ? char16_t(b) : char16_t(kReplacement));
    return out;
  }
  thread_local Converter converter(false);
  iconv_t cd = converter.Get(charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (unsigned char b : text) out.push_back(b < 0x80 ? char16_t(b) : char16_t(kReplacement));
    return out;
  }
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  char16_t buf[2048];
  while (in_left > 0) {
    char* dst = reinterpret_cast<char*>(buf);
    size_t dst_left = sizeof buf;
    const size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buf, size_t(dst - reinterpret_cast<char*>(buf)) / 2);
    if (rc != size_t(-1)) break;
    if (errno == E2BIG) continue;
    out.push_back(char16_t(kReplacement));  // invalid or cut byte sequence: skip one byte
    ++in;
    --in_left;
  }
  return out;
}

std::u16string wide_to_utf16(std::wstring_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    const auto cp = char32_t(w);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      out.push_back(char16_t(kReplacement));
    else
      AppendUtf16(cp, out);
  }
  return out;
}

}  // namespace korv::platform
