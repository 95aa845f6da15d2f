#pragma once
// The column description of an opened log: the header text the product module returns and
// the columns parsed from it.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korv {
class ModuleInstance;
}

struct HDR_INFO {
  std::int32_t width = 0;  // the width the module proposes; the list decides what it shows
  std::u16string name;     // the column title
};

// Splits a header text such as "Time=20,Module=20,Event=50" into columns, in order. An item
// without '=' is a name of width 0; the width is read like atoi (blanks, a sign, digits up
// to the first other character, 0 without digits), saturating instead of overflowing. An
// empty text gives no columns.
std::vector<HDR_INFO> ParseHeaderText(std::u16string_view text);

class CLogHeader {
 public:
  CLogHeader() = default;
  virtual ~CLogHeader() = default;

  // Empties the columns, asks the module for the header text (second interface when flags
  // have 0x8, else the first when they have 0x2) and parses it. `server` is the product's
  // server-edition flag of the parameter record. False, with an empty text and no columns,
  // when neither flag is set, there is no module instance, or the module fails.
  bool Build(const korv::ModuleInstance* instance, bool server);

  // Sets the header text as the module returned it and parses the columns from it.
  void SetHeaderText(std::u16string text);
  // Empties the header text and the columns (a module that failed).
  void Reset();

  std::int32_t m_nTypeId = 0;
  std::uint32_t m_nFlags = 0;    // log-kind flags: 0x2 first, 0x8 second module interface
  std::int32_t m_nViewMode = 1;  // 1 list view mode, 3 record view mode
  std::u16string m_strHeader;
  std::vector<HDR_INFO> m_columns;
};
