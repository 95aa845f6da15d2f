#include "ui/column_widths.h"

#include "logmodel/record_time.h"
#include "platform/filetime.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionViewItem>

#include <cmath>

namespace korv {

int ScaleDialogPixels(int pixels, const QFontMetrics& metrics) {
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = metrics.horizontalAdvance(letters) / double(letters.size());
    return static_cast<int>(std::lround(pixels * average / kDialogFontLetterWidth));
}

int CellWidthFor(const QAbstractItemView& view, const QString& text) {
    // What the view's delegate asks the style for, for one line of text.
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.font = view.font();
    option.fontMetrics = QFontMetrics(view.font());
    option.features = QStyleOptionViewItem::HasDisplay;
    option.text = text;
    option.displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const QSize size = view.style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), &view);
    return size.width();
}

QString WidestRecordTimeSample() {
    // 2026-12-28 23:58:58 UTC, shifted by the zone in force as every record time is.
    return QString::fromStdU16String(FormatRecordTime(platform::filetime_from_unix(1798502338)));
}

}  // namespace korv
