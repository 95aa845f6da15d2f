#pragma once
// Command-line options of korv-productd.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace korv::standin {

// How the service breaks its replies, for tests.
enum class ReplyFault {
  none,
  short_reply,      // a command reply of 8 bytes
  bad_header,       // the command reply does not begin with 12
  long_body,        // the body length claims 100 bytes more than were sent
  huge_count,       // the log-kind list claims far more entries than it holds
  transport_short,  // the port reply holds the status word only
  small_view,       // the reply data goes in a view one byte shorter than stated
  view_flags,       // the reply data goes in a view without the section flag
};

struct ServiceOptions {
  bool foreground = false;
  bool refuse = false;              // refuse every connection
  bool release = false;             // ask the client to release every reply
  std::uint32_t transport_status = 0;
  bool fixed_command_status = false;
  std::uint32_t command_status = 0;
  ReplyFault fault = ReplyFault::none;
  int delay_ms = 0;                 // wait this long before every reply
  std::string port_name;            // object name of the port
  // Reported log kinds: type id and service value, in order.
  std::vector<std::pair<std::int32_t, std::int32_t>> kinds;
};

// Parses argv; on a bad option writes the reason to error and answers false.
bool ParseServiceOptions(int argc, char** argv, ServiceOptions& out, std::string& error);

extern const char kServiceUsage[];

}  // namespace korv::standin
