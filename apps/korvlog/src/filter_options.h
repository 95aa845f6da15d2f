#pragma once
// The filter options that korvlog export and korvlog follow share (--types, --deleted,
// --text, --regex, --columns, --case, --words, --period, --from, --to, --utc-offset, --language):
// one parser, so that both commands take the same words and refuse them with the same texts.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "logmodel/filter_data.h"

namespace korv::cli {

struct FilterOptions {
  std::uint32_t types = 0x1F;  // FILTER type bits of --types
  bool deleted = false;
  std::optional<std::u16string> text;
  std::uint32_t columns = 0x7FFFFFFF;
  bool matchCase = false, words = false;
  bool regex = false;  // --text is an RE2 pattern
  std::string period = "whole", from, to;  // --from and --to as given, read in BuildFilter
  int utcOffset = 0;                       // hours east of UTC
  std::optional<std::uint32_t> language;   // module language (LANGID)
  bool raw = false;                        // --raw: rows from the records' bytes, no module
};

enum class FilterOptionParse {
  kNotMine,  // args[i] is no filter option: the command's own, or its path
  kTaken,    // read into the options (with its value, i then names the value)
  kRefused,  // a usage mistake, already reported
};

// The lines of the commands' help that name the filter options.
inline constexpr std::string_view kFilterOptionsHelp =
    "  --types LIST               critical,error,warning,information,diagnostic or all\n"
    "  --deleted                  include rows of deleted records\n"
    "  --text TEXT                text criterion; all columns unless --columns\n"
    "  --regex                    --text is a regular expression (RE2 syntax)\n"
    "  --columns LIST             0-based column indices as shown (0 = time in list mode)\n"
    "  --case                     case-sensitive text\n"
    "  --words                    whole words only\n"
    "  --period whole|day|week|month|range   time period (default whole)\n"
    "  --from \"YYYY-MM-DD HH:MM:SS\" --to \"YYYY-MM-DD HH:MM:SS\"   bounds of range\n"
    "  --utc-offset N             hours east of UTC, -12..14 (default 0)\n"
    "  --language ID              module language (LANGID, e.g. 1033, 1031, 1029)\n"
    "  --raw                      raw rows, without the module: each record's time, number,\n"
    "                             kind, payload size and readable texts\n";

// Prints "korvlog: " + message and the pointer to `command`'s help; answers kExitUsage.
int UsageError(std::string_view command, const std::string& message);

// Reads args[i] when it is a filter option, advancing i past its value.
FilterOptionParse ParseFilterOption(std::span<const std::string_view> args, std::size_t& i,
                                    FilterOptions& o, std::string_view command);

// Once every argument is read: --from and --to go with --period range and only with it.
int CheckFilterOptions(const FilterOptions& o, std::string_view command);

// Sets the process zone to --utc-offset, then fills `f`, reading the bounds of a range in
// that zone. kExitUsage (reported) when a bound is no time or --regex has a pattern RE2
// refuses.
int BuildFilter(const FilterOptions& o, CLogFilterData& f, std::string_view command);

// Starts the product module and switches it to --language, as the viewer does at start and
// on its Language command; a module that does not load or serve the language is reported,
// and the command goes on with raw rows or in the module's own language. With --raw the
// module is not started.
void StartModuleInLanguage(const FilterOptions& o);

}  // namespace korv::cli
