// UTF-8 <-> UTF-16 for the stand-ins' own texts and input files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korv::standin {

// Invalid or truncated sequences, overlong forms, surrogates and values past
// U+10FFFF become U+FFFD, one per bad byte; never reads past the input.
void append_utf8_as_utf16(std::string_view in, std::u16string* out);
std::u16string utf8_to_utf16(std::string_view in);

// Appends the UTF-8 form of code point `cp`, which is at most U+10FFFF.
void append_utf8(std::uint32_t cp, std::string* out);

// Unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view in);

}  // namespace korv::standin
