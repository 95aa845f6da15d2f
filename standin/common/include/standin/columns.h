// The columns the stand-in module describes for each log kind.
//
// View mode 1 is the list: the viewer's "Time" column, then the data
// columns. View mode 3 is the record view: data columns only. Scan logs
// differ between the two: a row of mode 1 is a scan log's summary, a row
// of mode 3 one record of a scan log.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korv::standin {

inline constexpr int kViewList = 1;
inline constexpr int kViewRecord = 3;

struct ColumnSpec {
  int width;
  std::u16string_view title[3];  // English, German, Czech
};

// The data columns (no time column) of a type id in a view mode; empty for
// an unknown type id or a view mode other than 1 and 3.
std::span<const ColumnSpec> data_columns(int type_id, int view_mode);

// Whether the type id is described at all.
bool type_id_known(int type_id);

// "Time=20,Module=20,Event=50,User=12" in the language (served LANGID, else
// English); empty for an unknown type id or view mode.
std::u16string header_text(int type_id, int view_mode, uint16_t langid);

}  // namespace korv::standin
