#include "filter_options.h"

#include <cstdio>
#include <iostream>

#include "command.h"
#include "logmodel/text_pattern.h"
#include "platform/codepage.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "product/module_requests.h"

namespace korv::cli {
namespace {

// A decimal with an optional sign in [low, high]; the digits stop counting past 10^9, so
// that no argument can overflow.
bool ParseInt(std::string_view s, long long low, long long high, long long& out) {
  if (s.empty()) return false;
  std::size_t i = s[0] == '-' || s[0] == '+' ? 1 : 0;
  if (i == s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > 1000000000) return false;
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

enum class TimeParse { kOk, kNotTheForm, kNoSuchTime };

// "YYYY-MM-DD HH:MM:SS" in the process zone: the form, then a time the list can show.
TimeParse ParseLocalTime(const std::string& text, std::int64_t& out) {
  int y, mo, d, h, mi, s;
  char tail;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
    return TimeParse::kNotTheForm;
  return MakeLocalTime(y, mo, d, h, mi, s, out) ? TimeParse::kOk : TimeParse::kNoSuchTime;
}

// The refusal of one bound: the form when it is not that, else the dates there are.
int RefuseBound(std::string_view command, std::string_view option, const std::string& text, TimeParse why) {
  if (why == TimeParse::kNotTheForm)
    return UsageError(command, std::string(option) + " takes \"YYYY-MM-DD HH:MM:SS\", not \"" + text + "\"");
  return UsageError(command, std::string(option) + " " + text +
                                 " is no date and time from 1601-01-01 00:00:00 to 9999-12-31 23:59:59");
}

}  // namespace

int UsageError(std::string_view command, const std::string& message) {
  fail(kExitUsage, message);
  std::cerr << "Run 'korvlog " << command << " --help' for the options.\n";
  return kExitUsage;
}

FilterOptionParse ParseFilterOption(std::span<const std::string_view> args, std::size_t& i,
                                    FilterOptions& o, std::string_view command) {
  const std::string_view a = args[i];
  std::string_view v;
  auto value = [&] {
    if (i + 1 >= args.size()) return false;
    v = args[++i];
    return true;
  };
  auto refuse = [&](const std::string& message) {
    UsageError(command, message);
    return FilterOptionParse::kRefused;
  };
  long long n = 0;
  if (a == "--types") {
    if (!value() || !ParseTypes(v, o.types))
      return refuse("--types takes critical,error,warning,information,diagnostic or all");
  } else if (a == "--raw") {
    o.raw = true;
  } else if (a == "--deleted") {
    o.deleted = true;
  } else if (a == "--text") {
    if (!value()) return refuse("--text takes a text");
    o.text = platform::utf8_to_utf16(v);  // arguments arrive in UTF-8
  } else if (a == "--columns") {
    if (!value() || !ParseColumns(v, o.columns)) return refuse("--columns takes column indices 0..30");
  } else if (a == "--case") {
    o.matchCase = true;
  } else if (a == "--regex") {
    o.regex = true;
  } else if (a == "--words") {
    o.words = true;
  } else if (a == "--period") {
    if (!value() || (v != "whole" && v != "day" && v != "week" && v != "month" && v != "range"))
      return refuse("--period takes whole, day, week, month or range");
    o.period = v;
  } else if (a == "--from" || a == "--to") {
    if (!value()) return refuse(std::string(a) + " takes a time");
    (a == "--from" ? o.from : o.to) = v;
  } else if (a == "--utc-offset") {
    if (!value() || !ParseInt(v, -12, 14, n)) return refuse("--utc-offset takes hours from -12 to 14");
    o.utcOffset = int(n);
  } else if (a == "--language") {
    if (!value() || !ParseInt(v, 1, 0xFFFF, n)) return refuse("--language takes a language identifier");
    o.language = std::uint32_t(n);
  } else {
    return FilterOptionParse::kNotMine;
  }
  return FilterOptionParse::kTaken;
}

int CheckFilterOptions(const FilterOptions& o, std::string_view command) {
  const bool range = o.period == "range";
  if (range != (!o.from.empty() || !o.to.empty()) || (range && (o.from.empty() || o.to.empty())))
    return UsageError(command, "--from and --to go together with --period range");
  return kExitOk;
}

int BuildFilter(const FilterOptions& o, CLogFilterData& f, std::string_view command) {
  platform::set_process_utc_offset(o.utcOffset);
  f.m_nTypeMask = o.types | (o.deleted ? FILTER_SHOW_DELETED : 0);
  f.m_nOptions = (o.matchCase ? FILTER_OPT_CASE : 0) | (o.words ? FILTER_OPT_WORDS : 0) |
                 (o.regex ? FILTER_OPT_REGEX : 0);
  if (o.period == "day") f.m_nOptions |= FILTER_PERIOD_DAY;
  if (o.period == "week") f.m_nOptions |= FILTER_PERIOD_WEEK;
  if (o.period == "month") f.m_nOptions |= FILTER_PERIOD_MONTH;
  if (o.period == "range") {
    f.m_nOptions |= FILTER_PERIOD_RANGE;
    if (const TimeParse from = ParseLocalTime(o.from, f.m_timeFrom); from != TimeParse::kOk)
      return RefuseBound(command, "--from", o.from, from);
    if (const TimeParse to = ParseLocalTime(o.to, f.m_timeTo); to != TimeParse::kOk)
      return RefuseBound(command, "--to", o.to, to);
    // A range that ends before it begins matches nothing: certainly a mistake.
    if (f.m_timeTo < f.m_timeFrom)
      return UsageError(command, "--from " + o.from + " is after --to " + o.to);
  }
  if (o.text) f.m_strText = *o.text;
  // A pattern is refused before any log is opened: a mistyped one would otherwise match
  // nothing and look like an empty log.
  if (o.regex && !f.m_strText.empty()) {
    if (const std::string error = PatternError(f.m_strText, f.m_nOptions); !error.empty())
      return UsageError(command, "--text is not a valid regular expression: " + error);
  }
  f.m_nColumnMask = o.columns;
  return kExitOk;
}

void StartModuleInLanguage(const FilterOptions& o) {
  if (o.raw) return;
  if (!StartProductModule()) {
    std::cerr << "korvlog: the product module could not be loaded; records are shown raw\n";
    return;
  }
  if (!o.language) return;
  const auto second = SecondInterfaceHolder().CurrentInstance();
  if (RequestSetLanguage(second.get(), *o.language) != kResultOk) {
    std::cerr << "korvlog: the module does not serve language " << *o.language << '\n';
    return;
  }
  SetHostLanguage(*o.language);
  FirstInterfaceHolder().CloseComponent();
  FirstInterfaceHolder().OpenComponent();
}

}  // namespace korv::cli
