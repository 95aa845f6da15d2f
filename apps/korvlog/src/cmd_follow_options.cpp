#include "cmd_follow_options.h"

#include <cstdio>
#include <iostream>

#include "command.h"
#include "platform/codepage.h"
#include "platform/tz.h"

namespace korv::cli {
namespace {

bool ParseInt(std::string_view s, long long low, long long high, long long& out) {
  std::size_t i = !s.empty() && (s[0] == '-' || s[0] == '+') ? 1 : 0;
  if (i >= s.size() || s.size() - i > 9) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = s[0] == '-' ? -v : v;
  return out >= low && out <= high;
}

// Comma-separated items, each handled by `one`; false on the first it refuses.
template <class One>
bool ForEachItem(std::string_view list, One&& one) {
  if (list.empty()) return false;
  for (;;) {
    const std::size_t comma = list.find(',');
    if (!one(list.substr(0, comma))) return false;
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

bool ParseTypes(std::string_view list, std::uint32_t& mask) {
  mask = 0;
  return ForEachItem(list, [&](std::string_view t) {
    static constexpr struct { std::string_view name; std::uint32_t bits; } kTypes[] = {
        {"all", 0x1F}, {"critical", 0x10}, {"error", 0x08}, {"warning", 0x04},
        {"information", 0x02}, {"diagnostic", 0x01}};
    for (const auto& type : kTypes)
      if (t == type.name) {
        mask |= type.bits;
        return true;
      }
    return false;
  });
}

bool ParseColumns(std::string_view list, std::uint32_t& mask) {
  mask = 0;
  return ForEachItem(list, [&](std::string_view c) {
    long long i = 0;
    if (!ParseInt(c, 0, 30, i)) return false;  // the mask has bits for columns 0-30
    mask |= std::uint32_t(1) << i;
    return true;
  });
}

bool ParseLocalTime(const std::string& text, std::int64_t& out) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
    return false;
  return MakeLocalTime(y, mo, d, h, mi, s, out);
}

int Usage(const std::string& message) {
  fail(kExitUsage, message);
  std::cerr << "Run 'korvlog follow --help' for the options.\n";
  return kExitUsage;
}

}  // namespace

int ParseFollowOptions(std::span<const std::string_view> args, FollowOptions& o) {
  std::uint32_t types = 0x1F, columns = 0x7FFFFFFF, options = 0;
  bool deleted = false;
  std::string period = "whole", from, to;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    std::string_view v;
    auto value = [&] {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    long long n = 0;
    if (a == "--types") {
      if (!value() || !ParseTypes(v, types))
        return Usage("--types takes critical,error,warning,information,diagnostic or all");
    } else if (a == "--deleted") {
      deleted = true;
    } else if (a == "--text") {
      if (!value()) return Usage("--text takes a text");
      o.filter.m_strText = platform::utf8_to_utf16(v);
    } else if (a == "--columns") {
      if (!value() || !ParseColumns(v, columns)) return Usage("--columns takes column indices 0..30");
    } else if (a == "--case") {
      options |= FILTER_OPT_CASE;
    } else if (a == "--words") {
      options |= FILTER_OPT_WORDS;
    } else if (a == "--period") {
      if (!value() || (v != "whole" && v != "day" && v != "week" && v != "month" && v != "range"))
        return Usage("--period takes whole, day, week, month or range");
      period = v;
    } else if (a == "--from" || a == "--to") {
      if (!value()) return Usage(std::string(a) + " takes a time");
      (a == "--from" ? from : to) = v;
    } else if (a == "--utc-offset") {
      if (!value() || !ParseInt(v, -12, 14, n)) return Usage("--utc-offset takes hours from -12 to 14");
      o.utcOffset = int(n);
    } else if (a == "--language") {
      if (!value() || !ParseInt(v, 1, 0xFFFF, n)) return Usage("--language takes a language identifier");
      o.language = std::uint32_t(n);
    } else if (a.starts_with('-') && a.size() > 1) {
      return Usage("unknown option '" + std::string(a) + "'");
    } else {
      if (!o.path.empty()) return Usage("one log path only");
      o.path = a;
    }
  }
  if (o.path.empty()) return Usage("no log path given");
  const bool range = period == "range";
  if (range != (!from.empty() || !to.empty()) || (range && (from.empty() || to.empty())))
    return Usage("--from and --to go together with --period range");

  platform::set_process_utc_offset(o.utcOffset);
  o.filter.m_nTypeMask = types | (deleted ? FILTER_SHOW_DELETED : 0);
  o.filter.m_nColumnMask = columns;
  if (period == "day") options |= FILTER_PERIOD_DAY;
  if (period == "week") options |= FILTER_PERIOD_WEEK;
  if (period == "month") options |= FILTER_PERIOD_MONTH;
  if (range) {
    options |= FILTER_PERIOD_RANGE;
    if (!ParseLocalTime(from, o.filter.m_timeFrom) || !ParseLocalTime(to, o.filter.m_timeTo))
      return Usage("--from and --to take \"YYYY-MM-DD HH:MM:SS\"");
  }
  o.filter.m_nOptions = options;
  return kExitOk;
}

}  // namespace korv::cli
