#include "ui/timeline_strip.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <bit>
#include <ctime>

#include "logmodel/log.h"
#include "logmodel/log_updater_thread.h"
#include "logmodel/severity.h"
#include "logmodel/timeline_rows.h"
#include "platform/tz.h"
#include "resources/string_table.h"
#include "ui/ui_text.h"

namespace korv {
namespace {

constexpr int kMargin = 4;
constexpr int kPixelsPerBar = 4;  // the narrowest bar still readable
constexpr int kDragSlop = 3;      // a press that moves less than this is a click
const QString kShownKey = QStringLiteral("Timeline");

// Stacking order from the bottom: the most severe first, where the eye lands.
constexpr std::array<std::uint32_t, kSeverityClassCount> kStackOrder = {
    FILTER_TYPE_CRITICAL, FILTER_TYPE_ERROR, FILTER_TYPE_WARNING, FILTER_TYPE_INFORMATION,
    FILTER_TYPE_DIAGNOSTIC};

// The list's severity text colours. The list draws Error and Warning alike; stacked in one
// bar they must differ, so Error takes a darker shade of that colour.
QColor ClassColour(std::uint32_t levelClass) {
    switch (levelClass) {
    case FILTER_TYPE_CRITICAL: return QColor(208, 57, 48);
    case FILTER_TYPE_ERROR: return QColor(211, 151, 22).darker(150);
    case FILTER_TYPE_WARNING: return QColor(211, 151, 22);
    case FILTER_TYPE_INFORMATION: return QColor(42, 154, 210);
    default: return QColor(78, 88, 101);
    }
}

int ClassIndex(std::uint32_t levelClass) { return std::bit_width(levelClass) - 1; }


}  // namespace

bool ReadTimelineShown() {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    return settings.value(kShownKey, 1).toInt() != 0;
}

void WriteTimelineShown(bool shown) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    settings.setValue(kShownKey, shown ? 1 : 0);
}

TimelineStrip::TimelineStrip(QWidget* parent)
    : QWidget(parent), m_histogram(std::make_shared<FixedOffsetZone>(0), 1) {
    setMouseTracking(true);
    setMinimumHeight(fontMetrics().height() * 4);
    setMaximumHeight(fontMetrics().height() * 6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setObjectName(QStringLiteral("timelineStrip"));
}

bool TimelineStrip::Applies(const CLog* log) {
    return log != nullptr && log->IsOpen() && !log->IsDirectory() && log->GetViewMode() == LOG_VIEW_LIST &&
           log->GetFixedRecord() == -1;
}

void TimelineStrip::SetLog(const CLog* log) {
    m_pLog = log;
    Recount();
}

TimelineStrip::CountState TimelineStrip::CurrentState() const {
    CountState state;
    state.log = m_pLog;
    state.open = Applies(m_pLog);
    state.zoneOffsetWest = platform::process_time_zone_offset();
    if (state.open) {
        const CLogFilterData& f = m_pLog->GetFilter();
        state.typeMask = f.m_nTypeMask;
        state.options = f.m_nOptions;
        state.columnMask = f.m_nColumnMask;
        state.timeFrom = f.m_timeFrom;
        state.timeTo = f.m_timeTo;
        state.text = f.m_strText;
    }
    return state;
}

int TimelineStrip::Columns() const { return std::max(1, BarArea().width() / kPixelsPerBar); }

void TimelineStrip::Recount() {
    m_histogram.SetZone(std::make_shared<FixedOffsetZone>(std::int32_t(-platform::process_time_zone_offset())));
    m_histogram.SetColumns(Columns());
    m_counted = CurrentState();
    m_nCountedRows = 0;
    // Rows the walk has not confirmed are not counted; their confirmation recounts.
    if (m_counted.open && !isHidden() && !m_pLog->RowsProvisional()) {
        CountVisibleRows(*m_pLog, m_histogram);
        m_nCountedRows = m_pLog->Rows().size();
    }
    UpdateSpan();
    update();
}

void TimelineStrip::RowsApplied(const LogApplyResult& change) {
    if (isHidden() || !change.applied) {
        return;
    }
    // Counting only the new rows is exact only when the counted rows are still there, moved
    // down by exactly the rows put in front of them.
    if (change.replaced || change.confirmed || CurrentState() != m_counted || m_pLog == nullptr ||
        m_pLog->Rows().size() != m_nCountedRows + change.prepended + change.appended) {
        Recount();
        return;
    }
    CountRowRange(*m_pLog, 0, change.prepended, m_histogram);
    CountRowRange(*m_pLog, m_pLog->Rows().size() - change.appended, m_pLog->Rows().size(), m_histogram);
    m_nCountedRows = m_pLog->Rows().size();
    UpdateSpan();
    update();
}

void TimelineStrip::Sync() {
    if (!isHidden() && CurrentState() != m_counted) {
        Recount();
    }
}

void TimelineStrip::UpdateSpan() {
    const auto& buckets = m_histogram.Buckets();
    m_spanFrom = buckets.empty() ? 0 : buckets.front().start;
    m_spanTo = buckets.empty() ? 0 : buckets.back().end;
}

QRect TimelineStrip::BarArea() const {
    const int axis = fontMetrics().height() + 2;
    return QRect(kMargin, 3, std::max(1, width() - 2 * kMargin), std::max(1, height() - axis - 3));
}

int TimelineStrip::XOfTime(std::int64_t utc) const {
    const QRect area = BarArea();
    if (m_spanTo <= m_spanFrom) {
        return area.left();
    }
    const long double share = (long double)(utc - m_spanFrom) / (long double)(m_spanTo - m_spanFrom);
    return area.left() + int(share * area.width());
}

std::int64_t TimelineStrip::TimeAtX(int x) const {
    const QRect area = BarArea();
    if (m_spanTo <= m_spanFrom) {
        return m_spanFrom;
    }
    const int clamped = std::clamp(x, area.left(), area.left() + area.width() - 1);
    const long double share = (long double)(clamped - area.left()) / (long double)area.width();
    return std::min(m_spanTo - 1, m_spanFrom + std::int64_t(share * (long double)(m_spanTo - m_spanFrom)));
}

QString TimelineStrip::LocalText(std::int64_t utc, bool withDate) const {
    const std::time_t local = static_cast<std::time_t>(utc + m_histogram.Zone().OffsetAt(utc));
    std::tm t{};
    if (gmtime_r(&local, &t) == nullptr) {
        return QString();
    }
    char text[40];
    std::strftime(text, sizeof text, withDate ? "%Y-%m-%d %H:%M" : "%H:%M", &t);
    return QString::fromLatin1(text);
}

QString TimelineStrip::ToolTipAt(int x) const {
    const int index = m_histogram.BucketIndexAt(TimeAtX(x));
    if (index < 0 || m_spanTo <= m_spanFrom) {
        return QString();
    }
    const TimeBucket& b = m_histogram.Buckets()[std::size_t(index)];
    const bool sameDay = LocalText(b.start, true).left(10) == LocalText(b.end, true).left(10);
    QString text = LocalText(b.start, true) + QStringLiteral(" – ") + LocalText(b.end, !sameDay);
    const QStringList names = LoadQString(str::kSeverityNames).split(QLatin1Char('|'));
    for (std::uint32_t levelClass : kStackOrder) {
        const int k = ClassIndex(levelClass);
        const QString name = k + 1 < names.size() ? names[k + 1] : QString::number(levelClass);
        text += QStringLiteral("\n%1: %2").arg(name).arg(b.counts[std::size_t(k)]);
    }
    return text;
}

void TimelineStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRect area = BarArea();
    const std::uint64_t most = m_histogram.MaxTotal();
    if (most > 0) {
        for (const TimeBucket& b : m_histogram.Buckets()) {
            const int x0 = XOfTime(b.start);
            const int w = std::max(1, XOfTime(b.end) - x0 - 1);
            std::uint64_t below = 0;
            for (std::uint32_t levelClass : kStackOrder) {
                const std::uint32_t n = b.counts[std::size_t(ClassIndex(levelClass))];
                if (n == 0) {
                    continue;
                }
                // Heights from the running sum, so that the pieces add up to the bar.
                const int yLow = area.bottom() - int(below * std::uint64_t(area.height()) / most);
                below += n;
                const int yHigh = area.bottom() - int(below * std::uint64_t(area.height()) / most);
                painter.fillRect(QRect(x0, yHigh + 1, w, std::max(1, yLow - yHigh)), ClassColour(levelClass));
            }
        }
    }
    // The time axis: bucket starts, labelled where there is room for the text.
    painter.setPen(palette().color(QPalette::Text));
    const int baseline = height() - fontMetrics().descent() - 1;
    painter.drawLine(area.left(), area.bottom() + 1, area.right(), area.bottom() + 1);
    if (m_spanTo > m_spanFrom) {
        const bool withDate = m_histogram.Size() >= BucketSize::kDay;
        int nextFree = area.left();
        for (std::int64_t t = m_spanFrom; t < m_spanTo;) {
            const int x = XOfTime(t);
            const QString label = LocalText(t, withDate || x == area.left() || LocalText(t, false) == QStringLiteral("00:00"));
            const QString shown = withDate ? label.left(10) : label;
            // A label that would run past the right edge is left out rather than cut.
            if (x >= nextFree && x + 2 + fontMetrics().horizontalAdvance(shown) <= width()) {
                painter.drawLine(x, area.bottom() + 1, x, area.bottom() + 4);
                painter.drawText(x + 2, baseline, shown);
                nextFree = x + fontMetrics().horizontalAdvance(shown) + 12;
            }
            t = BucketAt(m_histogram.Zone(), m_histogram.Size(), t).end;
        }
    }
    if (m_nPressX >= 0 && m_nDragX >= 0 && std::abs(m_nDragX - m_nPressX) >= kDragSlop) {
        QColor shade = palette().color(QPalette::Highlight);
        shade.setAlpha(70);
        painter.fillRect(QRect(QPoint(std::min(m_nPressX, m_nDragX), area.top()),
                               QPoint(std::max(m_nPressX, m_nDragX), area.bottom())),
                         shade);
    }
}

void TimelineStrip::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        m_nPressX = m_nDragX = e->position().toPoint().x();
    }
    QWidget::mousePressEvent(e);
}

void TimelineStrip::mouseMoveEvent(QMouseEvent* e) {
    if (m_nPressX >= 0) {
        m_nDragX = e->position().toPoint().x();
        update();
    }
    QWidget::mouseMoveEvent(e);
}

void TimelineStrip::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || m_nPressX < 0) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    const int from = std::min(m_nPressX, e->position().toPoint().x());
    const int to = std::max(m_nPressX, e->position().toPoint().x());
    m_nPressX = m_nDragX = -1;
    update();
    if (m_spanTo <= m_spanFrom) {
        return;
    }
    if (to - from < kDragSlop) {
        const int index = m_histogram.BucketIndexAt(TimeAtX(from));
        if (index >= 0) {
            const TimeBucket& b = m_histogram.Buckets()[std::size_t(index)];
            emit bucketClicked(b.start, b.end);
        }
        return;
    }
    // The period runs from the start of the first bucket crossed to the end of the last.
    const BucketRange first = BucketAt(m_histogram.Zone(), m_histogram.Size(), TimeAtX(from));
    const BucketRange last = BucketAt(m_histogram.Zone(), m_histogram.Size(), TimeAtX(to));
    emit periodSelected(first.start, last.end - 1);
}

void TimelineStrip::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        m_nPressX = m_nDragX = -1;
        emit periodCleared();
    }
    QWidget::mouseDoubleClickEvent(e);
}

void TimelineStrip::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    // A width that would choose another bucket size recounts; otherwise only the bars move.
    const BucketSize wanted = ChooseBucketSize(m_histogram.SpanSeconds(), Columns());
    if (wanted != m_histogram.Size() && m_counted.open) {
        Recount();
    }
}

bool TimelineStrip::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString text = ToolTipAt(help->pos().x());
        if (text.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(e);
}

}  // namespace korv
