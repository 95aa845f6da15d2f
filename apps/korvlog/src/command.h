#pragma once
// The commands of korvlog. Each command lives in its own source file and
// registers itself with a static CommandRegistration; main() dispatches.

#include <ostream>
#include <span>
#include <string_view>
#include <vector>

namespace korv::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDeclined = 1;  // the user said no
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotFound = 3;
inline constexpr int kExitNotALog = 5;   // does not open as a log, or could not be mended

struct Command {
  std::string_view name;
  std::string_view summary;                          // one line for the overview
  int (*run)(std::span<const std::string_view> args);  // args after the command name
  void (*help)(std::ostream& out);
};

struct CommandRegistration {
  explicit CommandRegistration(const Command& command);
};

// Sorted by name.
const std::vector<Command>& registered_commands();

// True when args hold --help or -h (commands print their help then).
bool wants_help(std::span<const std::string_view> args);

// "korvlog: " + message on stderr; returns status for `return fail(...)`.
int fail(int status, std::string_view message);

}  // namespace korv::cli
