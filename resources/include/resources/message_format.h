#pragma once
// Positional message formatting for the string table's patterns, the subset
// the viewer's strings use: "%1".."%99" inserts with an optional "!fmt!"
// printf conversion (d, i, u, x, X, s), "%%" for a percent sign, "%0" to end
// the text, "%n" for CR LF, and "%" before any other character giving that
// character (so "% " is a blank and "%)" a parenthesis).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace korv {

using MessageArg = std::variant<std::int64_t, std::string>;

// Formats `pattern` with `args` (%1 is args[0]). An insert whose number has
// no argument is left out rather than read from nowhere.
std::string FormatMessageText(std::string_view pattern, std::span<const MessageArg> args);

// Every occurrence of `from` in `text` replaced by `to`; `from` must not be empty.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace korv
