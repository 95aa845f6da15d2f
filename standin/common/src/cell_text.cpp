#include "standin/cell_text.h"

#include <string>

#include "standin/messages.h"

namespace korv::standin {

namespace {

void append_ascii(std::string_view s, std::u16string* out) {
  for (char c : s) out->push_back(static_cast<char16_t>(c));
}

void append_decimal(uint64_t v, std::u16string* out) { append_ascii(std::to_string(v), out); }

void append_dotted(const uint8_t* p, std::u16string* out) {
  for (int i = 0; i < 4; ++i) {
    if (i) out->push_back(u'.');
    append_decimal(p[i], out);
  }
}

void append_group(unsigned v, std::u16string* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  bool started = false;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const unsigned d = (v >> shift) & 0xF;
    if (d || started || shift == 0) {
      out->push_back(static_cast<char16_t>(kDigits[d]));
      started = true;
    }
  }
}

std::u16string format_ipv6(const uint8_t* p) {
  unsigned groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = (static_cast<unsigned>(p[2 * i]) << 8) | p[2 * i + 1];
  std::u16string out;

  // ::ffff:a.b.c.d for IPv4-mapped addresses.
  bool mapped = groups[5] == 0xFFFF;
  for (int i = 0; i < 5; ++i) mapped = mapped && groups[i] == 0;
  if (mapped) {
    out = u"::ffff:";
    append_dotted(p + 12, &out);
    return out;
  }

  int best_at = -1, best_len = 0;
  for (int i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && groups[j] == 0) ++j;
    if (j - i > best_len) best_at = i, best_len = j - i;
    i = j;
  }
  if (best_len < 2) best_at = -1;  // a single zero group is not shortened

  for (int i = 0; i < 8; ++i) {
    if (i == best_at) {
      out.append(u"::");
      i += best_len - 1;
      continue;
    }
    if (i && i != best_at + best_len) out.push_back(u':');
    append_group(groups[i], &out);
  }
  return out;
}

}  // namespace

std::u16string format_address(std::span<const uint8_t> bytes) {
  std::u16string out;
  if (bytes.size() == 4) {
    append_dotted(bytes.data(), &out);
  } else if (bytes.size() == 16) {
    out = format_ipv6(bytes.data());
  }
  return out;
}

std::u16string format_hex(std::span<const uint8_t> bytes) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0xF]);
  }
  return out;
}

std::u16string format_cell(const FieldView& field, uint16_t langid, const TimeTextFn& time_text) {
  std::u16string out;
  switch (field.kind) {
    case FieldKind::Text: {
      const uint8_t* p = field.data.data();
      const size_t units = field.data.size() / 2;
      out.reserve(units);
      for (size_t i = 0; i < units; ++i) {
        const auto c = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (c == 0) break;
        out.push_back(c);
      }
      break;
    }
    case FieldKind::Uint:
      append_decimal(field_uint(field), &out);
      break;
    case FieldKind::Time:
      if (time_text && field.data.size() == 8) out = time_text(field_uint(field));
      break;
    case FieldKind::Addr:
      out = format_address(field.data);
      break;
    case FieldKind::Msg:
      out = message_text(field_u32(field), langid);
      break;
    case FieldKind::Hex:
      out = format_hex(field.data);
      break;
  }
  return out;
}

}  // namespace korv::standin
