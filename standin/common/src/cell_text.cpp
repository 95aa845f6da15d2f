#include "standin/cell_text.h"

#include <bit>
#include <cstring>
#include <string>

#include "standin/messages.h"

namespace korv::standin {

namespace {

void append_decimal(uint64_t v, std::u16string* out) {
  char16_t digits[20];
  char16_t* q = digits + 20;
  do {
    *--q = static_cast<char16_t>(u'0' + v % 10);
    v /= 10;
  } while (v != 0);
  out->append(q, static_cast<size_t>(digits + 20 - q));
}

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

void append_ipv6(const uint8_t* p, std::u16string* out) {
  unsigned groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = (static_cast<unsigned>(p[2 * i]) << 8) | p[2 * i + 1];

  // ::ffff:a.b.c.d for IPv4-mapped addresses.
  bool mapped = groups[5] == 0xFFFF;
  for (int i = 0; i < 5; ++i) mapped = mapped && groups[i] == 0;
  if (mapped) {
    out->append(u"::ffff:");
    append_dotted(p + 12, out);
    return;
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
      out->append(u"::");
      i += best_len - 1;
      continue;
    }
    if (i && i != best_at + best_len) out->push_back(u':');
    append_group(groups[i], out);
  }
}

void append_address(std::span<const uint8_t> bytes, std::u16string* out) {
  if (bytes.size() == 4) {
    append_dotted(bytes.data(), out);
  } else if (bytes.size() == 16) {
    append_ipv6(bytes.data(), out);
  }
}

void append_hex(std::span<const uint8_t> bytes, std::u16string* out) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  const size_t at = out->size();
  out->resize(at + bytes.size() * 2);
  char16_t* q = out->data() + at;
  for (uint8_t b : bytes) {
    *q++ = kDigits[b >> 4];
    *q++ = kDigits[b & 0xF];
  }
}

}  // namespace

std::u16string format_address(std::span<const uint8_t> bytes) {
  std::u16string out;
  append_address(bytes, &out);
  return out;
}

std::u16string format_hex(std::span<const uint8_t> bytes) {
  std::u16string out;
  append_hex(bytes, &out);
  return out;
}

void append_cell(const FieldView& field, uint16_t langid, const TimeTextFn& time_text, std::u16string& out) {
  switch (field.kind) {
    case FieldKind::Text: {
      // Little-endian units up to the first NUL.
      const uint8_t* p = field.data.data();
      const size_t units = field.data.size() / 2;
      if (units == 0) break;  // an empty field may have no data pointer at all
      const size_t at = out.size();
      out.resize(at + units);
      char16_t* q = out.data() + at;
      if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(q, p, units * sizeof(char16_t));
      } else {
        for (size_t i = 0; i < units; ++i) q[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
      }
      const size_t nul = std::u16string_view(q, units).find(u'\0');
      if (nul != std::u16string_view::npos) out.resize(at + nul);
      break;
    }
    case FieldKind::Uint:
      append_decimal(field_uint(field), &out);
      break;
    case FieldKind::Time:
      if (time_text && field.data.size() == 8) time_text(field_uint(field), out);
      break;
    case FieldKind::Addr:
      append_address(field.data, &out);
      break;
    case FieldKind::Msg:
      append_message_text(field_u32(field), langid, out);
      break;
    case FieldKind::Hex:
      append_hex(field.data, &out);
      break;
  }
}

std::u16string format_cell(const FieldView& field, uint16_t langid, const TimeTextFn& time_text) {
  std::u16string out;
  append_cell(field, langid, time_text, out);
  return out;
}

}  // namespace korv::standin
