#include "logmodel/text_formats.h"

#include <algorithm>

#include "platform/codepage.h"

namespace korv {
namespace {

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr char kHex[] = "0123456789abcdef";

void AppendUnicodeEscape(char16_t c, std::string& out) {
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
}

// The short escape of a JSON special character, or null for any other.
constexpr const char* JsonShortEscape(char16_t c) {
  switch (c) {
    case u'"': return "\\\"";
    case u'\\': return "\\\\";
    case u'\b': return "\\b";
    case u'\f': return "\\f";
    case u'\n': return "\\n";
    case u'\r': return "\\r";
    case u'\t': return "\\t";
    default: return nullptr;
  }
}

constexpr bool JsonEscaped(char16_t c) {
  return c < 0x20 || c == u'"' || c == u'\\' || (c >= 0x7F && c <= 0x9F) || c == 0x2028 ||
         c == 0x2029;
}

constexpr bool CsvNeedsQuotes(char16_t c) {
  return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
}

constexpr char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return FoldAscii(x) == FoldAscii(y); });
}

std::u16string Numbered(std::u16string_view stem, std::size_t n) {
  std::u16string text(stem);
  for (char c : std::to_string(n)) text.push_back(char16_t(c));
  return text;
}

}  // namespace

void AppendJsonString(std::u16string_view text, std::string& out) {
  out.push_back('"');
  std::size_t i = 0;
  while (i < text.size()) {
    // A run of characters that need no escape, converted in one go; the converter turns an
    // unpaired surrogate into U+FFFD and keeps pairs together (the run never splits one,
    // as surrogates are not escaped).
    std::size_t j = i;
    while (j < text.size() && !JsonEscaped(text[j])) ++j;
    if (j > i) platform::append_utf16_as_utf8(text.substr(i, j - i), out);
    if (j == text.size()) break;
    if (const char* e = JsonShortEscape(text[j]))
      out += e;
    else
      AppendUnicodeEscape(text[j], out);
    i = j + 1;
  }
  out.push_back('"');
}

void AppendCsvField(std::u16string_view text, std::string& out) {
  const bool quoted = std::any_of(text.begin(), text.end(), CsvNeedsQuotes);
  if (quoted) out.push_back('"');
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && text[j] != u'"' && text[j] != 0) ++j;
    if (j > i) platform::append_utf16_as_utf8(text.substr(i, j - i), out);
    if (j == text.size()) break;
    out += text[j] == u'"' ? "\"\"" : kReplacementUtf8;
    i = j + 1;
  }
  if (quoted) out.push_back('"');
}

void AppendCsvRecord(std::span<const std::u16string> fields, std::string& out) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out.push_back(',');
    AppendCsvField(fields[i], out);
  }
}

std::vector<std::u16string> UniqueMemberNames(std::span<const std::u16string_view> reserved,
                                              std::span<const std::u16string> titles) {
  std::vector<std::u16string> names;
  names.reserve(titles.size());
  auto taken = [&](std::u16string_view name) {
    return std::any_of(reserved.begin(), reserved.end(), [&](std::u16string_view r) { return SameName(r, name); }) ||
           std::any_of(names.begin(), names.end(), [&](const std::u16string& n) { return SameName(n, name); });
  };
  for (std::size_t c = 0; c < titles.size(); ++c) {
    const std::u16string stem = titles[c].empty() ? Numbered(u"column ", c + 1) : titles[c];
    if (!taken(stem)) {
      names.push_back(stem);
      continue;
    }
    for (std::size_t n = 2;; ++n) {
      std::u16string name = Numbered(stem + u"_", n);
      if (!taken(name)) {
        names.push_back(std::move(name));
        break;
      }
    }
  }
  return names;
}

}  // namespace korv
