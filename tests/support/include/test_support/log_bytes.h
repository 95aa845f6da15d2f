#pragma once
// Test helpers over a log's bytes: a header field changed in place, and the TEXT fields of a
// stand-in payload as the stand-in itself decodes them (to compare with what the viewer shows).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "logstore/disklog_format.h"
#include "standin/payload.h"

namespace korv::test {

// Rewrites the header of the log at `path` through `change`; the file keeps its inode.
inline void PatchLogHeader(const std::string& path, const std::function<void(_DISKLOG_HEADER&)>& change) {
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GE(bytes.size(), kDiskLogHeaderSize);
  unsigned char raw[kDiskLogHeaderSize];
  std::memcpy(raw, bytes.data(), sizeof raw);
  _DISKLOG_HEADER h = decode_disklog_header(raw);
  change(h);
  encode_disklog_header(h, raw);
  std::memcpy(bytes.data(), raw, sizeof raw);
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// The TEXT fields of `payload` in payload order into `texts`; the decoder's result.
inline standin::PayloadResult StandinTextFields(std::span<const std::uint8_t> payload,
                                                std::vector<std::u16string>& texts) {
  std::vector<standin::RowView> rows;
  const standin::PayloadResult result = standin::decode_payload(payload, &rows);
  texts.clear();
  for (const standin::RowView& row : rows)
    for (const standin::FieldView& f : row.fields)
      if (f.kind == standin::FieldKind::Text) {
        std::u16string t(f.data.size() / 2, u'\0');
        std::memcpy(t.data(), f.data.data(), f.data.size());
        texts.push_back(t);
      }
  return result;
}

}  // namespace korv::test
