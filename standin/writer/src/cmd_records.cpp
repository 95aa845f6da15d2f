// create, delete and gap: the commands that work on whole records.
#include <algorithm>
#include <cstdio>

#include "commands.h"
#include "standin/logfile.h"

namespace korv::standin {

int fail(const std::string& what) {
  std::fprintf(stderr, "korvlog-write: %s\n", what.c_str());
  return kExitFailed;
}

int usage_error(const std::string& what) {
  std::fprintf(stderr, "korvlog-write: %s (see korvlog-write --help)\n", what.c_str());
  return kExitUsage;
}

bool parse_number(const std::string& text, unsigned long long max, unsigned long long* out) {
  if (text.empty() || text.size() > 20) return false;
  unsigned long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const auto d = static_cast<unsigned long long>(c - '0');
    if (d > max || v > (max - d) / 10) return false;
    v = v * 10 + d;
  }
  *out = v;
  return true;
}

int cmd_create(const Args& args) {
  if (args.size() != 1) return usage_error("create takes one FILE");
  LogFileWriter w;
  if (auto e = w.create(args[0]); e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  if (auto e = w.close(); e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  return kExitOk;
}

namespace {

bool record_numbers(const Args& args, const char* cmd, std::vector<uint32_t>* out, int* status) {
  if (args.size() < 2) {
    *status = usage_error(std::string(cmd) + " takes FILE and at least one RECNO");
    return false;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    unsigned long long n = 0;
    if (!parse_number(args[i], UINT32_MAX, &n)) {
      *status = usage_error("not a record number: '" + args[i] + "'");
      return false;
    }
    out->push_back(static_cast<uint32_t>(n));
  }
  return true;
}

}  // namespace

int cmd_delete(const Args& args) {
  std::vector<uint32_t> numbers;
  int status = kExitOk;
  if (!record_numbers(args, "delete", &numbers, &status)) return status;
  LogFileWriter w;
  if (auto e = w.open(args[0]); e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  for (uint32_t n : numbers) {
    const auto e = w.mark_deleted(n);
    if (e == platform::FileError::not_found) return fail(args[0] + ": no record " + std::to_string(n));
    if (e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  }
  if (auto e = w.close(); e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  return kExitOk;
}

int cmd_gap(const Args& args) {
  std::vector<uint32_t> numbers;
  int status = kExitOk;
  if (!record_numbers(args, "gap", &numbers, &status)) return status;
  LogFileWriter w;
  if (auto e = w.open(args[0]); e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  const auto e = w.zero_records(numbers);
  if (e == platform::FileError::not_found) return fail(args[0] + ": a record number is not in the log");
  if (e != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(e));
  if (auto c = w.close(); c != platform::FileError::ok) return fail(args[0] + ": " + platform::file_error_text(c));
  return kExitOk;
}

}  // namespace korv::standin
