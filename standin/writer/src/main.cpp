// korvlog-write: writes logs as the product does, for demos, tests and benchmarks.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

constexpr const char* kUsage =
    "usage: korvlog-write COMMAND ...\n"
    "  create FILE                      a new empty log\n"
    "  append FILE --kind KEY --count N [--seed S] [--rate N/s] [--deleted-every K]\n"
    "                                   N records of the kind KEY (virlog, warnlog, epfwlog, ...)\n"
    "  append-json FILE                 records from standard input, one JSON object a line\n"
    "  delete FILE RECNO...             mark records deleted\n"
    "  gap FILE RECNO...                overwrite whole records with zero bytes\n"
    "  demo DIR [--count N] [--seed S]  a demo product tree: hklm.ini, logs of every kind, scans,\n"
    "                                   and a damaged log\n";

struct Command {
  const char* name;
  int (*run)(const korv::standin::Args&);
};

constexpr Command kCommands[] = {
    {"create", korv::standin::cmd_create},   {"append", korv::standin::cmd_append},
    {"append-json", korv::standin::cmd_append_json}, {"delete", korv::standin::cmd_delete},
    {"gap", korv::standin::cmd_gap},         {"demo", korv::standin::cmd_demo},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, argc < 2 ? stderr : stdout);
    return argc < 2 ? korv::standin::kExitUsage : korv::standin::kExitOk;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(korv::standin::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "korvlog-write: unknown command '%s'\n%s", argv[1], kUsage);
  return korv::standin::kExitUsage;
}
