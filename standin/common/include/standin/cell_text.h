// The cell text of one payload field, as the stand-in module shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "standin/payload.h"

namespace korv::standin {

// Appends the text the host shows a FILETIME (UTC) as to `out`. The module
// supplies one built on the host's time text service.
using TimeTextFn = std::function<void(uint64_t filetime, std::u16string& out)>;

// The text of a field that decode_payload accepted. A TEXT field ends at its
// first NUL, as the NUL-terminated cell would. A TIME field without a
// time_text function is empty.
std::u16string format_cell(const FieldView& field, uint16_t langid, const TimeTextFn& time_text);
// The same text appended to `out`, for callers that gather many cells.
void append_cell(const FieldView& field, uint16_t langid, const TimeTextFn& time_text, std::u16string& out);

// 4 bytes dotted decimal, 16 bytes RFC 5952 (lower case, no leading zeros,
// the longest run of two or more zero groups as "::", the first on a tie,
// IPv4-mapped addresses as ::ffff:a.b.c.d); empty for any other length.
std::u16string format_address(std::span<const uint8_t> bytes);

std::u16string format_hex(std::span<const uint8_t> bytes);

}  // namespace korv::standin
