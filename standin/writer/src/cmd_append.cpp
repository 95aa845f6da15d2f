// append FILE --kind KEY --count N [--seed S] [--rate N/s] [--deleted-every K]
#include <sys/stat.h>

#include <cstdlib>

#include "append_generated.h"
#include "commands.h"

namespace korv::standin {

namespace {

// "N/s" or "N": records a second, more than 0.
bool parse_rate(std::string text, double* out) {
  if (text.size() > 2 && text.compare(text.size() - 2, 2, "/s") == 0) text.resize(text.size() - 2);
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !(v > 0) || v > 1e9) return false;
  *out = v;
  return true;
}

}  // namespace

int cmd_append(const Args& args) {
  if (args.empty()) return usage_error("append takes FILE and --kind KEY --count N");
  const std::string& path = args[0];
  const StandinLogKind* kind = nullptr;
  GenerateOptions opt;
  bool have_count = false;
  for (size_t i = 1; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (i + 1 >= args.size()) return usage_error(name + " needs a value");
    const std::string& value = args[i + 1];
    unsigned long long n = 0;
    if (name == "--kind") {
      kind = find_log_kind(value);
      if (!kind) return usage_error("unknown log kind '" + value + "'");
    } else if (name == "--count") {
      if (!parse_number(value, UINT32_MAX, &n)) return usage_error("bad --count '" + value + "'");
      opt.count = n;
      have_count = true;
    } else if (name == "--seed") {
      if (!parse_number(value, UINT64_MAX, &n)) return usage_error("bad --seed '" + value + "'");
      opt.seed = n;
      opt.seed_given = true;
    } else if (name == "--deleted-every") {
      if (!parse_number(value, UINT32_MAX, &n) || n == 0) return usage_error("bad --deleted-every '" + value + "'");
      opt.deleted_every = n;
    } else if (name == "--rate") {
      if (!parse_rate(value, &opt.rate)) return usage_error("bad --rate '" + value + "'");
    } else {
      return usage_error("unknown option '" + name + "'");
    }
  }
  if (!kind || !have_count) return usage_error("append needs --kind and --count");

  // A missing log is created; an existing file must already be a log.
  LogFileWriter w;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  const auto e = exists ? w.open(path) : w.create(path);
  if (e == platform::FileError::invalid) return fail(path + ": not a log file");
  if (e != platform::FileError::ok) return fail(path + ": " + platform::file_error_text(e));
  if (auto a = append_generated(w, *kind, opt); a != platform::FileError::ok) {
    return fail(path + ": " + platform::file_error_text(a));
  }
  if (auto c = w.close(); c != platform::FileError::ok) return fail(path + ": " + platform::file_error_text(c));
  return kExitOk;
}

}  // namespace korv::standin
