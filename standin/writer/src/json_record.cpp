#include "json_record.h"

#include <arpa/inet.h>

#include <array>
#include <set>

#include "platform/filetime.h"
#include "standin/utf.h"

namespace korv::standin {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number, or a string "0x" followed by 1..16 hex digits.
bool get_uint(const JsonValue& v, uint64_t max, uint64_t* out) {
  if (v.is(JsonValue::Type::Number)) return v.as_uint(max, out);
  if (!v.is(JsonValue::Type::String)) return false;
  const std::string& s = v.text();
  if (s.size() < 3 || s.size() > 18 || s[0] != '0' || (s[1] != 'x' && s[1] != 'X')) return false;
  uint64_t r = 0;
  for (size_t i = 2; i < s.size(); ++i) {
    const int d = hex_digit(s[i]);
    if (d < 0) return false;
    r = (r << 4) | static_cast<uint64_t>(d);
  }
  if (r > max) return false;
  *out = r;
  return true;
}

bool only_members(const JsonValue& v, std::initializer_list<std::string_view> allowed, std::string* bad) {
  for (const auto& [name, value] : v.members()) {
    bool ok = false;
    for (std::string_view a : allowed) ok = ok || name == a;
    if (!ok) {
      *bad = name;
      return false;
    }
  }
  return true;
}

bool add_field(const JsonValue& f, PayloadEncoder* enc, std::string* error) {
  if (!f.is(JsonValue::Type::Object) || f.members().size() != 1) {
    *error = "a field is an object with exactly one member";
    return false;
  }
  const auto& [kind, value] = *f.members().begin();
  uint64_t n = 0;
  if (kind == "text") {
    if (!value.is(JsonValue::Type::String)) return *error = "text: string expected", false;
    const std::u16string text = utf8_to_utf16(value.text());
    if (text.size() > kMaxFieldLength / 2) return *error = "text: longer than a field can hold", false;
    enc->add_text(text);
  } else if (kind == "uint") {
    if (!get_uint(value, UINT64_MAX, &n)) return *error = "uint: unsigned integer expected", false;
    if (n > UINT32_MAX) enc->add_uint64(n);
    else enc->add_uint32(static_cast<uint32_t>(n));
  } else if (kind == "uint64") {
    if (!get_uint(value, UINT64_MAX, &n)) return *error = "uint64: unsigned integer expected", false;
    enc->add_uint64(n);
  } else if (kind == "time") {
    if (value.is(JsonValue::Type::String) && parse_utc_text(value.text(), &n)) {
      enc->add_time(n);
    } else if (value.is(JsonValue::Type::Number) && value.as_uint(UINT64_MAX, &n)) {
      enc->add_time(n);
    } else {
      return *error = "time: FILETIME or \"YYYY-MM-DD HH:MM:SS\" expected", false;
    }
  } else if (kind == "addr") {
    std::array<uint8_t, 16> b{};
    if (!value.is(JsonValue::Type::String)) return *error = "addr: string expected", false;
    if (inet_pton(AF_INET, value.text().c_str(), b.data()) == 1) {
      enc->add_raw(FieldKind::Addr, std::span<const uint8_t>(b.data(), 4));
    } else if (inet_pton(AF_INET6, value.text().c_str(), b.data()) == 1) {
      enc->add_ipv6(b);
    } else {
      return *error = "addr: IPv4 or IPv6 address expected", false;
    }
  } else if (kind == "msg") {
    if (!get_uint(value, UINT32_MAX, &n)) return *error = "msg: message id expected", false;
    enc->add_msg(static_cast<uint32_t>(n));
  } else if (kind == "hex") {
    std::vector<uint8_t> bytes;
    if (!value.is(JsonValue::Type::String) || !parse_hex_bytes(value.text(), &bytes)) {
      return *error = "hex: even number of hex digits expected", false;
    }
    if (bytes.size() > kMaxFieldLength) return *error = "hex: longer than a field can hold", false;
    enc->add_hex(bytes);
  } else {
    *error = "unknown field kind \"" + kind + "\"";
    return false;
  }
  return true;
}

}  // namespace

bool parse_hex_bytes(std::string_view text, std::vector<uint8_t>* out) {
  out->clear();
  if (text.size() % 2 != 0) return false;
  out->reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = hex_digit(text[i]);
    const int lo = hex_digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<uint8_t>(hi << 4 | lo));
  }
  return true;
}

bool parse_utc_text(std::string_view t, uint64_t* filetime) {
  // YYYY-MM-DD HH:MM:SS
  if (t.size() != 19 || t[4] != '-' || t[7] != '-' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return false;
  auto num = [&](size_t at, size_t len, int* v) {
    *v = 0;
    for (size_t i = at; i < at + len; ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      *v = *v * 10 + (t[i] - '0');
    }
    return true;
  };
  int y, mo, d, h, mi, s;
  if (!num(0, 4, &y) || !num(5, 2, &mo) || !num(8, 2, &d) || !num(11, 2, &h) || !num(14, 2, &mi) ||
      !num(17, 2, &s)) {
    return false;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1601 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + (mo == 2 && leap) || h > 23 || mi > 59 ||
      s > 59) {
    return false;
  }
  // Days since 1970-01-01 (civil-from-days inverse).
  const int yy = mo <= 2 ? y - 1 : y;
  const int era = (yy >= 0 ? yy : yy - 399) / 400;
  const int yoe = yy - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
  *filetime = platform::filetime_from_unix(days * 86400 + h * 3600 + mi * 60 + s);
  return true;
}

bool record_from_json(const JsonValue& v, uint64_t now, PayloadEncoder* enc, JsonRecord* out, std::string* error) {
  *out = JsonRecord();
  std::string bad;
  if (!v.is(JsonValue::Type::Object)) return *error = "a record is a JSON object", false;
  if (!only_members(v, {"type", "time", "flags", "aux", "rows", "payload_hex"}, &bad)) {
    return *error = "unknown member \"" + bad + "\"", false;
  }
  uint64_t n = 0;
  const JsonValue* type = v.find("type");
  if (!type || !get_uint(*type, UINT32_MAX, &n)) return *error = "type: record type expected", false;
  out->type = static_cast<uint32_t>(n);

  out->time = now;
  if (const JsonValue* t = v.find("time")) {
    if (!(t->is(JsonValue::Type::String) && parse_utc_text(t->text(), &out->time)) && !t->as_uint(UINT64_MAX, &out->time)) {
      return *error = "time: FILETIME or \"YYYY-MM-DD HH:MM:SS\" expected", false;
    }
  }
  if (const JsonValue* f = v.find("flags")) {
    if (!get_uint(*f, UINT32_MAX, &n)) return *error = "flags: unsigned integer expected", false;
    out->flags = static_cast<uint32_t>(n);
  }
  if (const JsonValue* a = v.find("aux")) {
    if (!get_uint(*a, UINT32_MAX, &n)) return *error = "aux: unsigned integer expected", false;
    out->aux = static_cast<uint32_t>(n);
    out->aux_given = true;
  }

  const JsonValue* rows = v.find("rows");
  const JsonValue* raw = v.find("payload_hex");
  if ((rows != nullptr) == (raw != nullptr)) return *error = "exactly one of rows and payload_hex expected", false;
  if (raw) {
    if (!raw->is(JsonValue::Type::String) || !parse_hex_bytes(raw->text(), &out->payload)) {
      return *error = "payload_hex: even number of hex digits expected", false;
    }
    return true;
  }
  if (!rows->is(JsonValue::Type::Array)) return *error = "rows: array expected", false;
  enc->clear();
  for (const JsonValue& row : rows->items()) {
    if (!row.is(JsonValue::Type::Object) || !only_members(row, {"level", "fields"}, &bad)) {
      return *error = "rows: objects with level and fields expected", false;
    }
    const JsonValue* level = row.find("level");
    if (!level || !get_uint(*level, UINT32_MAX, &n)) return *error = "level: unsigned 32-bit value expected", false;
    enc->begin_row(static_cast<uint32_t>(n));
    if (const JsonValue* fields = row.find("fields")) {
      if (!fields->is(JsonValue::Type::Array)) return *error = "fields: array expected", false;
      for (const JsonValue& f : fields->items()) {
        if (!add_field(f, enc, error)) return false;
      }
    }
  }
  std::span<const uint8_t> payload;
  const PayloadResult r = enc->finish(&payload);
  if (r != PayloadResult::Ok) return *error = std::string("rows: ") + payload_result_name(r), false;
  out->payload.assign(payload.begin(), payload.end());
  return true;
}

}  // namespace korv::standin
