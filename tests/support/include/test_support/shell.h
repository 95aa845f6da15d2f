#pragma once
// Running the programs under test through the shell.

#include <sys/wait.h>

#include <cstdlib>
#include <string>

namespace korv::test {

// The exit status in a wait status; -1 when the process did not exit (a signal ended it).
inline int ExitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

// Runs `command` with sh -c; its exit status, -1 when it did not exit.
inline int Shell(const std::string& command) { return ExitStatus(std::system(command.c_str())); }

}  // namespace korv::test
