// The writer's commands. Each takes the arguments after its name, reports
// errors on stderr and returns the exit status: 0 done, 1 failed, 2 usage.
#pragma once

#include <string>
#include <vector>

namespace korv::standin {

using Args = std::vector<std::string>;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

int cmd_create(const Args& args);
int cmd_append(const Args& args);
int cmd_append_json(const Args& args);
int cmd_delete(const Args& args);
int cmd_gap(const Args& args);
int cmd_demo(const Args& args);

// "korvlog-write: what" on stderr; returns kExitFailed.
int fail(const std::string& what);
int usage_error(const std::string& what);

// A decimal number that fits max; false otherwise.
bool parse_number(const std::string& text, unsigned long long max, unsigned long long* out);

}  // namespace korv::standin
