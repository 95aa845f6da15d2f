#pragma once
// Text conversions between the UTF-16 the module and the log model speak, UTF-8, and the
// locale's own character set (what the Windows program calls the ANSI code page).
//
// "ANSI" is the character set of the current LC_CTYPE locale (nl_langinfo(CODESET)); a
// program must call setlocale(LC_ALL, "") at start for the user's locale to apply. In a
// UTF-8 locale the ANSI text is UTF-8. A character that the set cannot hold becomes '?',
// as the Windows conversion's default character does. None of these functions throws on
// bad input: unpaired surrogates and invalid bytes become U+FFFD (or '?' in ANSI).

#include <string>
#include <string_view>

namespace korv::platform {

// UTF-16 -> UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16_to_utf8(std::u16string_view text);
// Appends to `out` instead of returning, so a caller converting many rows reuses one buffer.
void append_utf16_as_utf8(std::u16string_view text, std::string& out);

// UTF-8 -> UTF-16. A byte sequence that is not valid UTF-8 becomes one U+FFFD per bad byte.
std::u16string utf8_to_utf16(std::string_view text);

// Name of the locale's character set as iconv knows it ("UTF-8", "ISO-8859-2", ...).
std::string ansi_charset();
// True when the ANSI character set is UTF-8.
bool ansi_is_utf8();

// UTF-16 -> the locale's character set; unconvertible characters become '?'.
std::string utf16_to_ansi(std::u16string_view text);
void append_utf16_as_ansi(std::u16string_view text, std::string& out);

// The locale's character set -> UTF-16; bytes that are not valid in it become U+FFFD.
std::u16string ansi_to_utf16(std::string_view text);

// The same two conversions for a named character set (an iconv name such as "ISO-8859-2").
// An unknown set keeps ASCII and turns every other character into '?' or U+FFFD.
void append_utf16_as_charset(std::u16string_view text, const std::string& charset, std::string& out);
std::u16string charset_to_utf16(std::string_view text, const std::string& charset);

// UTF-32 (wchar_t on Linux) -> UTF-16, for texts that come from the C library's wide functions.
std::u16string wide_to_utf16(std::wstring_view text);

}  // namespace korv::platform
