#include "service_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "log_kind_reply.h"

namespace korv::standin {

const char kServiceUsage[] =
    "usage: korv-productd [options]\n"
    "  --foreground           stay attached to the terminal (tests, demo)\n"
    "  --port NAME            object name of the port (default: the viewer's port)\n"
    "  --types LIST           log kinds to report: TYPE[:VALUE],... or 'none'\n"
    "  --refuse               refuse every connection\n"
    "  --status N             answer every request with transport status N\n"
    "  --command-status N     answer every command with status N\n"
    "  --fault KIND           short, bad-header, long-body, huge-count,\n"
    "                         transport-short, small-view, view-flags\n"
    "  --release              ask the client to release every reply\n"
    "  --delay MS             wait MS milliseconds before every reply\n";

namespace {

bool ParseNumber(const char* text, long long min, long long max, long long& out) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 0);
  if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
  out = v;
  return true;
}

bool ParseKinds(std::string_view list, ServiceOptions& out) {
  out.kinds.clear();
  if (list == "none") return true;
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    std::string item(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    std::size_t colon = item.find(':');
    long long type_id, value;
    if (!ParseNumber(item.substr(0, colon).c_str(), INT32_MIN, INT32_MAX, type_id)) return false;
    if (colon == std::string::npos) {
      value = 0x1000 + type_id;
    } else if (!ParseNumber(item.substr(colon + 1).c_str(), INT32_MIN, INT32_MAX, value)) {
      return false;
    }
    out.kinds.emplace_back(static_cast<std::int32_t>(type_id), static_cast<std::int32_t>(value));
  }
  return true;
}

bool ParseFault(std::string_view name, ReplyFault& out) {
  static constexpr std::pair<std::string_view, ReplyFault> kFaults[] = {
      {"short", ReplyFault::short_reply},
      {"bad-header", ReplyFault::bad_header},
      {"long-body", ReplyFault::long_body},
      {"huge-count", ReplyFault::huge_count},
      {"transport-short", ReplyFault::transport_short},
      {"small-view", ReplyFault::small_view},
      {"view-flags", ReplyFault::view_flags},
  };
  for (const auto& [text, fault] : kFaults) {
    if (name == text) {
      out = fault;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseServiceOptions(int argc, char** argv, ServiceOptions& out, std::string& error) {
  out = ServiceOptions{};
  out.kinds = DefaultLogKinds();
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto needs_value = [&]() {
      if (value == nullptr) error = std::string(arg) + " needs a value";
      return value != nullptr;
    };
    long long n;
    if (arg == "--foreground") {
      out.foreground = true;
    } else if (arg == "--refuse") {
      out.refuse = true;
    } else if (arg == "--release") {
      out.release = true;
    } else if (arg == "--port") {
      if (!needs_value()) return false;
      out.port_name = value;
      ++i;
    } else if (arg == "--types") {
      if (!needs_value()) return false;
      if (!ParseKinds(value, out)) {
        error = std::string("bad --types list: ") + value;
        return false;
      }
      ++i;
    } else if (arg == "--status" || arg == "--command-status") {
      if (!needs_value()) return false;
      if (!ParseNumber(value, 0, UINT32_MAX, n)) {
        error = std::string("bad number for ") + std::string(arg) + ": " + value;
        return false;
      }
      if (arg == "--status") {
        out.transport_status = static_cast<std::uint32_t>(n);
      } else {
        out.fixed_command_status = true;
        out.command_status = static_cast<std::uint32_t>(n);
      }
      ++i;
    } else if (arg == "--fault") {
      if (!needs_value()) return false;
      if (!ParseFault(value, out.fault)) {
        error = std::string("unknown fault: ") + value;
        return false;
      }
      ++i;
    } else if (arg == "--delay") {
      if (!needs_value()) return false;
      if (!ParseNumber(value, 0, 3600000, n)) {
        error = std::string("bad --delay: ") + value;
        return false;
      }
      out.delay_ms = static_cast<int>(n);
      ++i;
    } else {
      error = "unknown option: " + std::string(arg);
      return false;
    }
  }
  return true;
}

}  // namespace korv::standin
