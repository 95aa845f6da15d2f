#pragma once
// The readable texts of a payload the viewer cannot decode: what `strings` would find, for
// records shown raw (no product module, a record the module refuses, or on request). It
// knows bytes only, never a payload layout, so it reads any product's records alike.
//
// A readable text is a run of at least kRawTextMinRun printable characters, in UTF-16LE or
// in ASCII/UTF-8, at any byte offset. The texts are joined with " | " in payload order. A
// payload without any shows its first 32 bytes in hexadecimal instead.
//
// Linear in the payload and bounded: every byte is looked at a bounded number of times,
// and the text stops at kRawTextLimit UTF-16 units (ending with an ellipsis), so a payload
// of megabytes costs one pass and a row stays a row.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace korv {

inline constexpr std::size_t kRawTextMinRun = 4;
inline constexpr std::size_t kRawTextLimit = 65536;
inline constexpr std::size_t kRawHexBytes = 32;

// Appends the payload's texts (or its first bytes in hex) to `out`.
void AppendRawTexts(std::span<const std::uint8_t> payload, std::u16string& out);

}  // namespace korv
