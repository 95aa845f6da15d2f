#pragma once
// Strict readers of the JSON Lines and CSV exports, for tests: they refuse what a careless
// writer gets wrong (a raw control character or an unknown escape in a JSON string, an
// unpaired surrogate, bytes that are not UTF-8, a member twice, a stray quote in a CSV field,
// a line end other than CR LF), so a test that reads the output back also checks that it is
// valid.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace korv::test {

// A JSON value of the kinds the exports write: text, number (kept as its text), boolean, null.
using JsonScalar = std::variant<std::u16string, std::string, bool, std::nullptr_t>;
using JsonObject = std::vector<std::pair<std::u16string, JsonScalar>>;

namespace detail {

// Decodes one UTF-8 character at `i`; nullopt for an invalid, overlong or surrogate form.
inline std::optional<char32_t> NextUtf8(std::string_view s, std::size_t& i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  int extra;
  char32_t cp;
  if (b < 0x80) return (++i, char32_t(b));
  if (b >= 0xC2 && b <= 0xDF) extra = 1, cp = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) extra = 2, cp = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) extra = 3, cp = b & 0x07;
  else return std::nullopt;
  if (i + std::size_t(extra) >= s.size()) return std::nullopt;  // cut short
  for (int k = 1; k <= extra; ++k) {
    const unsigned char c = static_cast<unsigned char>(s[i + std::size_t(k)]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return std::nullopt;
  i += std::size_t(extra) + 1;
  return cp;
}

inline void AppendUtf16(char32_t cp, std::u16string& out) {
  if (cp < 0x10000) {
    out.push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}

  std::optional<JsonObject> Object() {
    JsonObject members;
    Blank();
    if (!Take('{')) return std::nullopt;
    Blank();
    if (Take('}')) return End(members);
    do {
      Blank();
      std::u16string key;
      if (!String(key)) return std::nullopt;
      for (const auto& m : members)
        if (m.first == key) return std::nullopt;  // a member twice is ambiguous
      Blank();
      if (!Take(':')) return std::nullopt;
      Blank();
      JsonScalar value;
      if (!Scalar(value)) return std::nullopt;
      members.emplace_back(std::move(key), std::move(value));
      Blank();
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return End(members);
  }

 private:
  std::optional<JsonObject> End(JsonObject& members) {
    Blank();
    if (i_ != s_.size()) return std::nullopt;
    return std::move(members);
  }
  void Blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) ++i_;
  }
  bool Take(char c) {
    if (i_ < s_.size() && s_[i_] == c) return ++i_, true;
    return false;
  }
  bool Hex4(char16_t& unit) {
    if (i_ + 4 > s_.size()) return false;
    unit = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[i_++];
      unit = char16_t(unit << 4);
      if (c >= '0' && c <= '9') unit = char16_t(unit | (c - '0'));
      else if (c >= 'a' && c <= 'f') unit = char16_t(unit | (c - 'a' + 10));
      else if (c >= 'A' && c <= 'F') unit = char16_t(unit | (c - 'A' + 10));
      else return false;
    }
    return true;
  }
  bool String(std::u16string& out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      const unsigned char c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') return ++i_, true;
      if (c < 0x20) return false;  // JSON forbids raw control characters in a string
      if (c != '\\') {
        const auto cp = NextUtf8(s_, i_);
        if (!cp) return false;
        AppendUtf16(*cp, out);
        continue;
      }
      ++i_;
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case '"': out.push_back(u'"'); break;
        case '\\': out.push_back(u'\\'); break;
        case '/': out.push_back(u'/'); break;
        case 'b': out.push_back(u'\b'); break;
        case 'f': out.push_back(u'\f'); break;
        case 'n': out.push_back(u'\n'); break;
        case 'r': out.push_back(u'\r'); break;
        case 't': out.push_back(u'\t'); break;
        case 'u': {
          char16_t unit;
          if (!Hex4(unit)) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // unpaired low surrogate
          out.push_back(unit);
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            char16_t low;
            if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            out.push_back(low);
          }
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool Scalar(JsonScalar& value) {
    if (i_ < s_.size() && s_[i_] == '"') {
      std::u16string text;
      if (!String(text)) return false;
      value = std::move(text);
      return true;
    }
    if (s_.substr(i_).starts_with("true")) return i_ += 4, value = true, true;
    if (s_.substr(i_).starts_with("false")) return i_ += 5, value = false, true;
    if (s_.substr(i_).starts_with("null")) return i_ += 4, value = nullptr, true;
    // An integer: optional minus, then 0 or digits without a leading zero.
    const std::size_t start = i_;
    Take('-');
    if (Take('0')) {
    } else if (i_ < s_.size() && s_[i_] >= '1' && s_[i_] <= '9') {
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    } else {
      return false;
    }
    value = std::string(s_.substr(start, i_ - start));
    return true;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace detail

// One JSON Lines line (without its LF) as an object of scalar members; nullopt when it is
// not exactly one valid object.
inline std::optional<JsonObject> ParseJsonLine(std::string_view line) {
  return detail::JsonReader(line).Object();
}

// The lines of a JSON Lines text: each ends with LF (the last one too); nullopt otherwise.
inline std::optional<std::vector<std::string>> SplitJsonLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t lf = text.find('\n', at);
    if (lf == std::string_view::npos) return std::nullopt;
    lines.emplace_back(text.substr(at, lf - at));
    at = lf + 1;
  }
  return lines;
}

// Decodes strict UTF-8 to UTF-16; nullopt for an invalid byte sequence.
inline std::optional<std::u16string> Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto cp = detail::NextUtf8(s, i);
    if (!cp) return std::nullopt;
    detail::AppendUtf16(*cp, out);
  }
  return out;
}

// An RFC 4180 text: records ended by `lineEnd` (CR LF as the viewer writes, LF as korvlog
// does; the last one too), fields split by commas, a field either plain (no quote, CR or LF
// in it) or enclosed in quotes with each quote doubled. Nullopt for anything else or for
// bytes that are not UTF-8.
inline std::optional<std::vector<std::vector<std::u16string>>> ParseCsv(std::string_view text,
                                                                         std::string_view lineEnd = "\r\n") {
  std::vector<std::vector<std::u16string>> records;
  std::vector<std::u16string> record;
  std::string field;
  std::size_t i = 0;
  auto endField = [&]() {
    auto decoded = Utf8ToUtf16(field);
    if (!decoded) return false;
    record.push_back(std::move(*decoded));
    field.clear();
    return true;
  };
  while (i < text.size()) {
    if (text[i] == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) return std::nullopt;  // no closing quote
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(text[i++]);
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
        if (text[i] == '"') return std::nullopt;  // a quote inside a plain field
        field.push_back(text[i++]);
      }
    }
    if (!endField()) return std::nullopt;
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    if (text.substr(i).starts_with(lineEnd)) {
      i += lineEnd.size();
      records.push_back(std::move(record));
      record.clear();
      continue;
    }
    return std::nullopt;  // a bare CR or LF, text after a closing quote, or no line end
  }
  if (!record.empty()) return std::nullopt;
  return records;
}

}  // namespace korv::test
