#include "resources/message_format.h"

#include <cstdio>

namespace korv {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Applies one "!fmt!" conversion. Only the conversions listed in the header
// are honoured; anything else prints the argument plainly, so a bad pattern
// can never hand snprintf a mismatched argument.
std::string Convert(std::string_view spec, const MessageArg& arg) {
    const char conv = spec.empty() ? 's' : spec.back();
    std::string flags(spec.substr(0, spec.empty() ? 0 : spec.size() - 1));
    for (char c : flags) {
        if (!(IsDigit(c) || c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '.')) {
            flags.clear();
            break;
        }
    }
    if (flags.size() > 8) {
        flags.clear();  // keeps the widths small enough for the buffer below
    }
    char buffer[128];
    if (const auto* number = std::get_if<std::int64_t>(&arg)) {
        std::string fmt = "%" + flags;
        switch (conv) {
            case 'd': case 'i': fmt += "lld"; break;
            case 'u': fmt += "llu"; break;
            case 'x': fmt += "llx"; break;
            case 'X': fmt += "llX"; break;
            default: fmt = "%lld"; break;
        }
        std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<long long>(*number));
        return buffer;
    }
    return std::get<std::string>(arg);
}

}  // namespace

std::string FormatMessageText(std::string_view pattern, std::span<const MessageArg> args) {
    std::string out;
    out.reserve(pattern.size() + 16);
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i >= pattern.size()) {
            break;  // a lone trailing percent sign prints nothing
        }
        const char next = pattern[i];
        if (next == '0') {
            break;
        }
        if (IsDigit(next)) {
            unsigned n = static_cast<unsigned>(next - '0');
            ++i;
            if (i < pattern.size() && IsDigit(pattern[i])) {
                n = n * 10 + static_cast<unsigned>(pattern[i] - '0');
                ++i;
            }
            std::string_view spec = "s";
            if (i < pattern.size() && pattern[i] == '!') {
                const std::size_t end = pattern.find('!', i + 1);
                if (end != std::string_view::npos) {
                    spec = pattern.substr(i + 1, end - i - 1);
                    i = end + 1;
                }
            }
            if (n >= 1 && n <= args.size()) {
                out += Convert(spec, args[n - 1]);
            }
            continue;
        }
        ++i;
        if (next == 'n') {
            out += "\r\n";
        } else {
            out += next;
        }
    }
    return out;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    if (from.empty()) {
        return std::string(text);
    }
    std::size_t pos = 0;
    while (true) {
        const std::size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) {
            out.append(text.substr(pos));
            return out;
        }
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
}

}  // namespace korv
