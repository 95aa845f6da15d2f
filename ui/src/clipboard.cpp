#include "ui/clipboard.h"

#include "logmodel/log.h"
#include "platform/codepage.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>

namespace korv {

CopyTextBuilder::CopyTextBuilder() : m_room(kInitialRoom) { m_text.reserve(m_room); }

void CopyTextBuilder::AddRow(const std::vector<std::u16string>& cells) {
    // The TAB after every cell counts too, so one row never outgrows the room.
    std::size_t need = m_text.size() + cells.size() + 2;
    for (const std::u16string& cell : cells) {
        need += cell.size();
    }
    if (need > m_room) {
        m_room = (need / kGrowStep + 1) * kGrowStep;
        m_text.reserve(m_room);
    }
    for (const std::u16string& cell : cells) {
        m_text += cell;
        m_text.push_back(u'\t');
    }
    m_text += u"\r\n";
}

std::u16string BuildCopyText(const std::vector<int>& rows, const RowCellsFn& cells,
                             const CopyYieldFn& yield) {
    CopyTextBuilder builder;
    std::vector<std::u16string> rowCells;
    int sinceYield = 0;
    for (int row : rows) {
        if (yield && ++sinceYield == kCopyYieldRows) {
            sinceYield = 0;
            yield();
        }
        rowCells.clear();
        if (cells(row, rowCells)) {
            builder.AddRow(rowCells);
        }
    }
    return builder.Text();
}

QString AnsiMimeType() {
    std::string charset = platform::ansi_charset();
    // glibc's name for plain ASCII is not the one MIME uses.
    if (charset == "ANSI_X3.4-1968") {
        charset = "US-ASCII";
    }
    return QStringLiteral("text/plain;charset=") + QString::fromStdString(charset);
}

std::unique_ptr<QMimeData> MakeClipboardData(const std::u16string& text) {
    auto data = std::make_unique<QMimeData>();
    const QString unicode = QString::fromStdU16String(text);
    // X11 programs ask for UTF8_STRING, which Qt answers from text/plain: the
    // Unicode text goes there (Qt stores it as UTF-8), whatever the locale.
    data->setText(unicode);
    data->setData(QStringLiteral("text/plain;charset=utf-8"), unicode.toUtf8());
    // The "ANSI" form under the name of its own charset, so that no client
    // takes its bytes for UTF-8. It is the whole text, not cut to the UTF-16
    // length, which would split characters that take several bytes. In a
    // UTF-8 locale it is the UTF-8 form above already.
    if (!platform::ansi_is_utf8()) {
        const std::string ansi = platform::utf16_to_ansi(text);
        data->setData(AnsiMimeType(), QByteArray(ansi.data(), static_cast<qsizetype>(ansi.size())));
    }
    return data;
}

namespace {

RowCellsFn CellsOf(CLog& log, CellSource source) {
    if (source == CellSource::kLimited) {
        return [&log](int row, std::vector<std::u16string>& cells) {
            return log.GetRowCellsLimited(row, cells);
        };
    }
    return [&log](int row, std::vector<std::u16string>& cells) {
        return log.GetRowCells(row, cells);
    };
}

bool CopyText(const std::u16string& text) {
    if (text.empty()) {
        return false;  // the clipboard keeps what it had
    }
    CopyToClipboard(text);
    return true;
}

}  // namespace

bool CopyRows(CLog* log, std::vector<int> selectedRows, CellSource source, const CopyYieldFn& yield) {
    if (!log || !log->IsOpen()) {
        return false;
    }
    std::sort(selectedRows.begin(), selectedRows.end());
    selectedRows.erase(std::unique(selectedRows.begin(), selectedRows.end()), selectedRows.end());
    return CopyText(BuildCopyText(selectedRows, CellsOf(*log, source), yield));
}

bool CopyAllRows(CLog* log, CellSource source, const CopyYieldFn& yield) {
    if (!log || !log->IsOpen()) {
        return false;
    }
    std::vector<int> rows(static_cast<std::size_t>(std::max(0, log->GetVisibleCount())));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = static_cast<int>(i);
    }
    return CopyText(BuildCopyText(rows, CellsOf(*log, source), yield));
}

bool CopyCell(CLog* log, int row, int column, int selectedCount) {
    if (!log || !log->IsOpen() || selectedCount != 1 || row < 0 || column < 0) {
        return false;
    }
    std::u16string text;
    if (!log->GetCellText(row, column, text)) {
        return false;
    }
    CopyToClipboard(text);  // an empty cell is copied as empty text
    return true;
}

}  // namespace korv

void CopyToClipboard(const std::u16string& text) {
    try {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            return;
        }
        QGuiApplication::clipboard()->setMimeData(korv::MakeClipboardData(text).release());
    } catch (...) {
        // A failed copy leaves the clipboard as it was; there is nothing to tell.
    }
}
