// append-json FILE: one JSON record a line on standard input.
#include <sys/stat.h>

#include <iostream>
#include <string>

#include "commands.h"
#include "json_record.h"
#include "platform/filetime.h"
#include "standin/logfile.h"

namespace korv::standin {

// All lines are read and checked before the first record is written, so
// that bad input leaves the log as it was.
int cmd_append_json(const Args& args) {
  if (args.size() != 1) return usage_error("append-json takes one FILE");
  const std::string& path = args[0];

  std::vector<JsonRecord> records;
  PayloadEncoder enc;
  const uint64_t now = platform::filetime_now();
  std::string line;
  for (size_t number = 1; std::getline(std::cin, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    JsonValue v;
    std::string error;
    JsonRecord r;
    if (!parse_json(line, &v, &error) || !record_from_json(v, now, &enc, &r, &error)) {
      return fail("line " + std::to_string(number) + ": " + error);
    }
    records.push_back(std::move(r));
  }
  if (std::cin.bad()) return fail("cannot read standard input");

  LogFileWriter w;
  struct stat st {};
  const auto e = ::stat(path.c_str(), &st) == 0 ? w.open(path) : w.create(path);
  if (e == platform::FileError::invalid) return fail(path + ": not a log file");
  if (e != platform::FileError::ok) return fail(path + ": " + platform::file_error_text(e));
  for (const JsonRecord& r : records) {
    NewRecord nr;
    nr.type = r.type;
    nr.time = r.time;
    nr.flags = r.flags;
    nr.aux = r.aux_given ? r.aux : w.next_aux();
    nr.payload = r.payload;
    if (auto a = w.append(nr); a != platform::FileError::ok) return fail(path + ": " + platform::file_error_text(a));
  }
  if (auto c = w.close(); c != platform::FileError::ok) return fail(path + ": " + platform::file_error_text(c));
  return kExitOk;
}

}  // namespace korv::standin
