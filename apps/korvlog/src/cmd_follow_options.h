#pragma once
// The options of korvlog follow: the filter options of korvlog export and the log path.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "logmodel/filter_data.h"

namespace korv::cli {

struct FollowOptions {
  std::string path;
  CLogFilterData filter;                  // the criteria, ready for SetFilter
  int utcOffset = 0;                      // hours east of UTC
  std::optional<std::uint32_t> language;  // module language (LANGID)
};

// Parses args (after "follow") into o; prints the reason and answers kExitUsage on a
// mistake. Time bounds are read in the zone of --utc-offset, which this sets.
int ParseFollowOptions(std::span<const std::string_view> args, FollowOptions& o);

}  // namespace korv::cli
