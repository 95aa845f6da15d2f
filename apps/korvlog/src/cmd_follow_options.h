#pragma once
// The options of korvlog follow: the filter options of korvlog export and the log path.

#include <span>
#include <string>
#include <string_view>

#include "filter_options.h"
#include "logmodel/filter_data.h"

namespace korv::cli {

struct FollowOptions {
  std::string path;
  FilterOptions options;  // as given; language and zone come from here
  CLogFilterData filter;  // the criteria, ready for SetFilter
};

// Parses args (after "follow") into o; prints the reason and answers kExitUsage on a
// mistake. Time bounds are read in the zone of --utc-offset, which this sets.
int ParseFollowOptions(std::span<const std::string_view> args, FollowOptions& o);

}  // namespace korv::cli
