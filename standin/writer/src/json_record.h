// One record of append-json input: a JSON object turned into a payload.
//
//   {"type": 65538 | "0x00010002", "time": 133... | "2026-12-08 14:03:05",
//    "flags": 0, "aux": 0,
//    "rows": [{"level": 268435456 | "0x10000000",
//              "fields": [{"text": "..."}, {"uint": 5}, {"uint64": 5},
//                         {"time": ...}, {"addr": "10.0.0.1" | "2001:db8::1"},
//                         {"msg": 50}, {"hex": "deadbeef"}]}]}
//
// or, instead of "rows", "payload_hex": "..." for exact (even malformed)
// payload bytes. Only "type" is required; time defaults to now, and a
// missing "aux" to a value no record of the file has yet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "json.h"
#include "standin/payload.h"

namespace korv::standin {

struct JsonRecord {
  uint32_t type = 0;
  uint64_t time = 0;
  uint32_t flags = 0;
  uint32_t aux = 0;
  bool aux_given = false;
  std::vector<uint8_t> payload;
};

// False with a message naming the bad member.
bool record_from_json(const JsonValue& v, uint64_t now, PayloadEncoder* enc, JsonRecord* out, std::string* error);

// Helpers shared with the tests.
bool parse_hex_bytes(std::string_view text, std::vector<uint8_t>* out);
bool parse_utc_text(std::string_view text, uint64_t* filetime);  // "YYYY-MM-DD HH:MM:SS"

}  // namespace korv::standin
