#pragma once
// Copy, Copy All and Copy Cell: list rows as tab-separated text on the
// system clipboard. Every cell is followed by one TAB (the last included)
// and every row by CR LF. The clipboard gets the text as Unicode (text/plain,
// which X11 clients fetch as UTF8_STRING, and text/plain;charset=utf-8) and,
// where the locale's character set is not UTF-8, in that set under
// text/plain;charset=<set>, with '?' for characters the set cannot hold.

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CLog;
class QMimeData;

namespace korv {

// Builds the copied text row by row. The room starts at 2048 characters and,
// when a row would not fit, grows to the next multiple of 2,097,152 above
// the need, so a large copy reallocates rarely.
class CopyTextBuilder {
public:
    static constexpr std::size_t kInitialRoom = 2048;
    static constexpr std::size_t kGrowStep = 2097152;

    CopyTextBuilder();
    void AddRow(const std::vector<std::u16string>& cells);
    const std::u16string& Text() const { return m_text; }
    std::size_t Room() const { return m_room; }

private:
    std::u16string m_text;
    std::size_t m_room;
};

// The cells of one visible row; false when the log cannot produce them.
using RowCellsFn = std::function<bool(int row, std::vector<std::u16string>& cells)>;

// Called between rows of a long copy so the window can repaint; may do nothing.
using CopyYieldFn = std::function<void()>;

// The text of `rows` (skipping rows whose cells cannot be had). `yield`, when
// given, is called after every kCopyYieldRows rows.
inline constexpr int kCopyYieldRows = 256;
std::u16string BuildCopyText(const std::vector<int>& rows, const RowCellsFn& cells,
                             const CopyYieldFn& yield = {});

// The clipboard data for `text`: Unicode and locale-encoded forms.
std::unique_ptr<QMimeData> MakeClipboardData(const std::u16string& text);
// The MIME type of the locale-encoded form: "text/plain;charset=ISO-8859-2", ...
QString AnsiMimeType();

// Which cell source a window copies from: the main dialog takes GetRowCells,
// a record window GetRowCellsLimited.
enum class CellSource { kFull, kLimited };

// Copy: the given selected rows in ascending order. Returns true when
// something was put on the clipboard.
bool CopyRows(CLog* log, std::vector<int> selectedRows, CellSource source, const CopyYieldFn& yield = {});
// Copy All: every visible row.
bool CopyAllRows(CLog* log, CellSource source, const CopyYieldFn& yield = {});
// Copy Cell: the bare text of the right-clicked cell, only when exactly one
// row is selected; an empty cell is copied as empty text.
bool CopyCell(CLog* log, int row, int column, int selectedCount);

}  // namespace korv

// Places `text` on the clipboard in both forms. Never throws.
void CopyToClipboard(const std::u16string& text);
