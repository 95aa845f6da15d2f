#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "command.h"

namespace korv::cli {
namespace {

std::vector<Command>& commands() {
  static std::vector<Command> list;  // filled by static registrations before main
  return list;
}

void print_overview(std::ostream& out) {
  out << "Usage: korvlog COMMAND [OPTIONS] FILE\n"
         "       korvlog --version\n\n"
         "Commands:\n";
  for (const Command& c : registered_commands()) {
    out << "  " << c.name << std::string(c.name.size() < 10 ? 10 - c.name.size() : 1, ' ') << c.summary << '\n';
  }
  out << "\nRun 'korvlog COMMAND --help' for the options of a command.\n";
}

}  // namespace

CommandRegistration::CommandRegistration(const Command& command) {
  auto& list = commands();
  list.insert(std::upper_bound(list.begin(), list.end(), command,
                               [](const Command& a, const Command& b) { return a.name < b.name; }),
              command);
}

const std::vector<Command>& registered_commands() { return commands(); }

bool wants_help(std::span<const std::string_view> args) {
  return std::any_of(args.begin(), args.end(), [](std::string_view a) { return a == "--help" || a == "-h"; });
}

int fail(int status, std::string_view message) {
  std::cerr << "korvlog: " << message << '\n';
  return status;
}

}  // namespace korv::cli

int main(int argc, char** argv) {
  using namespace korv::cli;
  std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    print_overview(std::cerr);
    return kExitUsage;
  }
  if (args[0] == "--help" || args[0] == "-h") {
    print_overview(std::cout);
    return kExitOk;
  }
  if (args[0] == "--version") {
    std::cout << "korvlog " << KORV_VERSION_TEXT << '\n';
    return kExitOk;
  }
  for (const Command& c : registered_commands()) {
    if (c.name != args[0]) continue;
    const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    if (wants_help(rest)) {
      c.help(std::cout);
      return kExitOk;
    }
    return c.run(rest);
  }
  fail(kExitUsage, "unknown command '" + std::string(args[0]) + "'");
  print_overview(std::cerr);
  return kExitUsage;
}
