#include "text_output.h"

#include <algorithm>
#include <iostream>

#include "platform/codepage.h"

namespace korv::cli {

TextOutput::TextOutput() : m_bUtf8(platform::ansi_is_utf8()) {}

void TextOutput::Append(std::u16string_view line, std::string& bytes) {
  if (m_bUtf8) {
    platform::append_utf16_as_utf8(line, bytes);
    return;
  }
  const std::size_t at = bytes.size();
  platform::append_utf16_as_ansi(line, bytes);
  if (!m_bWarned) Compare(line, std::string_view(bytes).substr(at));
}

void TextOutput::Check(std::u16string_view line) {
  if (m_bUtf8 || m_bWarned) return;
  if (std::all_of(line.begin(), line.end(), [](char16_t c) { return c < 0x80; })) return;
  m_scratch.clear();
  platform::append_utf16_as_ansi(line, m_scratch);
  Compare(line, m_scratch);
}

void TextOutput::Compare(std::u16string_view line, std::string_view converted) {
  const auto before = std::count(line.begin(), line.end(), u'?');
  const auto after = std::count(converted.begin(), converted.end(), '?');
  if (after <= before) return;
  m_bWarned = true;
  std::cerr << "korvlog: the locale's character set (" << platform::ansi_charset()
            << ") cannot hold some characters of the log; they are written as '?'. "
               "Use a UTF-8 locale (e.g. LC_ALL=C.UTF-8) to keep them.\n";
}

}  // namespace korv::cli
