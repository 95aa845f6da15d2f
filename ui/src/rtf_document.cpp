#include "ui/rtf_document.h"

#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace korv {

void RenderRtfRuns(const std::vector<RtfRun>& runs, QTextDocument& document) {
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const RtfRun& run : runs) {
        QTextCharFormat format;
        format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(run.italic);
        const QStringList lines = QString::fromUtf8(run.text.data(), static_cast<qsizetype>(run.text.size()))
                                      .split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0) {
                cursor.insertBlock();
            }
            if (!lines[i].isEmpty()) {
                cursor.insertText(lines[i], format);
            }
        }
    }
    cursor.endEditBlock();
}

void SetRtfText(QTextEdit& edit, const QByteArray& rtf) {
    RenderRtfRuns(ReadRtf(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size()))),
                  *edit.document());
}

}  // namespace korv
