#include "cmd_follow_options.h"

#include "command.h"

namespace korv::cli {
namespace {

constexpr std::string_view kCommand = "follow";

}  // namespace

int ParseFollowOptions(std::span<const std::string_view> args, FollowOptions& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (const FilterOptionParse parsed = ParseFilterOption(args, i, o.options, kCommand);
        parsed != FilterOptionParse::kNotMine) {
      if (parsed == FilterOptionParse::kRefused) return kExitUsage;
    } else if (a.starts_with('-') && a.size() > 1) {
      return UsageError(kCommand, "unknown option '" + std::string(a) + "'");
    } else {
      if (!o.path.empty()) return UsageError(kCommand, "one log path only");
      o.path = a;
    }
  }
  if (o.path.empty()) return UsageError(kCommand, "no log path given");
  if (int status = CheckFilterOptions(o.options, kCommand); status != kExitOk) return status;
  return BuildFilter(o.options, o.filter, kCommand);
}

}  // namespace korv::cli
