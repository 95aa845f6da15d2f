#include "raw_record.h"

#include <cstring>

#include "logmodel/log.h"
#include "logmodel/raw_texts.h"
#include "logmodel/record_time.h"

namespace korv {
namespace {

void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

void AppendNumber(std::uint64_t n, std::u16string& out) {
  char16_t digits[20];
  int k = 0;
  do {
    digits[k++] = char16_t(u'0' + n % 10);
    n /= 10;
  } while (n != 0);
  while (k > 0) out.push_back(digits[--k]);
}

}  // namespace

std::u16string RawHeaderText() { return u"Time=20,Record=8,Kind=24,Size=8,Texts=100"; }

void AppendKindText(std::uint32_t type, std::u16string_view kindName, std::u16string& out) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  out += u"0x";
  for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kHex[(type >> shift) & 0xF]);
  if (!kindName.empty()) {
    out.push_back(u' ');
    out += kindName;
  }
}

void MakeRawBlock(const RawRecord& r, std::span<const std::uint8_t> payload, bool rawLog, int viewMode,
                  std::size_t dataColumns, std::vector<std::uint8_t>& block) {
  // The cells' texts, each NUL-terminated, back to back.
  std::u16string texts;
  std::vector<std::size_t> starts;  // in units of `texts`
  auto cell = [&] { starts.push_back(texts.size()); };
  auto end_cell = [&] { texts.push_back(u'\0'); };
  if (rawLog) {
    if (viewMode != LOG_VIEW_LIST) {  // no time column of the list's own
      cell();
      AppendRecordTime(r.time, texts);
      end_cell();
    }
    cell();
    AppendNumber(std::uint64_t(r.record), texts);
    end_cell();
    cell();
    AppendKindText(r.type, r.kindName, texts);
    end_cell();
    cell();
    AppendNumber(payload.size(), texts);
    end_cell();
    cell();
    if (!r.damaged) AppendRawTexts(payload, texts);
    end_cell();
  } else {
    cell();
    AppendKindText(r.type, r.kindName, texts);
    texts += u", ";
    AppendNumber(payload.size(), texts);
    texts += u" bytes";
    if (!r.damaged) {
      texts += u": ";
      AppendRawTexts(payload, texts);
    }
    end_cell();
    for (std::size_t c = 1; c < dataColumns; ++c) {
      cell();
      end_cell();
    }
  }
  // Fixed part, one row offset, then the row: level, cell offsets, texts.
  const std::size_t cells = starts.size();
  const std::size_t row = 16 + 4;
  const std::size_t textsAt = row + 4 + 4 * cells;
  block.assign(textsAt + 2 * texts.size(), 0);
  PutU32(block, 0, std::uint32_t(block.size()));
  PutU32(block, 4, 1);  // the row stands for its record: it opens in a record window
  PutU32(block, 8, std::uint32_t(cells));
  PutU32(block, 12, 1);
  PutU32(block, 16, std::uint32_t(row));
  PutU32(block, row, 0);
  for (std::size_t c = 0; c < cells; ++c)
    PutU32(block, row + 4 + 4 * c, std::uint32_t(textsAt - row + 2 * starts[c]));
  std::memcpy(block.data() + textsAt, texts.data(), 2 * texts.size());  // little-endian host
}

}  // namespace korv
