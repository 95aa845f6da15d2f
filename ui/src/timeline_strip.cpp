#include "ui/timeline_strip.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
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

// Bars are drawn on a square-root scale: a burst of 200,000 rows next to buckets of a few
// hundred still leaves those a bar of some pixels, where a linear scale left them none.
// The share of the full height a bucket of `total` rows takes when the largest holds `most`.
double BarShare(std::uint64_t total, std::uint64_t most) {
    return most == 0 ? 0.0 : std::sqrt(double(total)) / std::sqrt(double(most));
}

const QString kScaleText = QStringLiteral("Bar height: square root of the rows");


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
    m_pClickTimer = new QTimer(this);
    m_pClickTimer->setSingleShot(true);
    connect(m_pClickTimer, &QTimer::timeout, this, [this] { emit bucketClicked(m_clickStart, m_clickEnd); });
}

bool TimelineStrip::Applies(const CLog* log) {
    // A scan log (view mode 3) and a directory of scan logs have times and levels as well.
    return log != nullptr && log->IsOpen() && log->GetFixedRecord() == -1;
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
    // A directory's listing is small and comes whole: it is counted again.
    if (change.replaced || change.confirmed || CurrentState() != m_counted || m_pLog == nullptr ||
        m_pLog->IsDirectory() ||
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

QString TimelineStrip::RangeText(std::int64_t from, std::int64_t to) const {
    // The end's date is shown when the range crosses midnight, so that "09:00" is never
    // read as the start's day.
    const bool sameDay = LocalText(from, true).left(10) == LocalText(to, true).left(10);
    return LocalText(from, true) + QStringLiteral(" – ") + LocalText(to, !sameDay);
}

QString TimelineStrip::ToolTipAt(int x) const {
    const int index = m_histogram.BucketIndexAt(TimeAtX(x));
    const std::uint64_t untimed = m_histogram.UntimedCount();
    QString text;
    if (index >= 0 && m_spanTo > m_spanFrom) {
        const TimeBucket& b = m_histogram.Buckets()[std::size_t(index)];
        text = RangeText(b.start, b.end);
        const QStringList names = LoadQString(str::kSeverityNames).split(QLatin1Char('|'));
        for (std::uint32_t levelClass : kStackOrder) {
            const int k = ClassIndex(levelClass);
            const QString name = k + 1 < names.size() ? names[k + 1] : QString::number(levelClass);
            text += QStringLiteral("\n%1: %2").arg(name).arg(b.counts[std::size_t(k)]);
        }
        text += QLatin1Char('\n') + kScaleText;
    }
    // Rows with no time the list shows (0, or past the year 9999) have no bar; they are
    // counted here wherever the mouse is.
    if (untimed > 0) {
        if (!text.isEmpty()) {
            text += QLatin1Char('\n');
        }
        text += QStringLiteral("Rows without a time (no bar): %1").arg(untimed);
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
                // Heights from the running sum, so that the pieces add up to the bar: the
                // bar's height on the square-root scale, split linearly among the classes.
                const double bar = BarShare(b.Total(), most) * area.height() / double(b.Total());
                const int yLow = area.bottom() - int(double(below) * bar);
                below += n;
                const int yHigh = area.bottom() - int(double(below) * bar);
                painter.fillRect(QRect(x0, yHigh + 1, w, std::max(1, yLow - yHigh)), ClassColour(levelClass));
            }
        }
    }
    // The time axis: ticks at round steps of the shown zone, far enough apart for the
    // widest label; the first tick of each day carries the date.
    painter.setPen(palette().color(QPalette::Text));
    const int baseline = height() - fontMetrics().descent() - 1;
    painter.drawLine(area.left(), area.bottom() + 1, area.right(), area.bottom() + 1);
    if (m_spanTo > m_spanFrom) {
        const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 12;
        const long double secondsPerPixel = (long double)(m_spanTo - m_spanFrom) / (long double)area.width();
        const std::int64_t step = AxisStep(std::int64_t(secondsPerPixel * labelWidth) + 1);
        for (const AxisTick& tick : AxisTicks(m_histogram.Zone(), m_spanFrom, m_spanTo, step)) {
            const int x = XOfTime(tick.utc);
            // Steps of a day or more are dates; shorter ones times, with the date where a day starts.
            QString label = LocalText(tick.utc, true);
            if (step >= 86400) {
                label = label.left(10);
            } else if (!tick.startsDay) {
                label = label.mid(11);
            }
            painter.drawLine(x, area.bottom() + 1, x, area.bottom() + 4);
            // A label that would run past the right edge is left out rather than cut.
            if (x + 2 + fontMetrics().horizontalAdvance(label) <= width()) {
                painter.drawText(x + 2, baseline, label);
            }
        }
    }
    if (m_nPressX >= 0 && m_nDragX >= 0 && std::abs(m_nDragX - m_nPressX) >= kDragSlop) {
        QColor shade = palette().color(QPalette::Highlight);
        shade.setAlpha(70);
        painter.fillRect(QRect(QPoint(std::min(m_nPressX, m_nDragX), area.top()),
                               QPoint(std::max(m_nPressX, m_nDragX), area.bottom())),
                         shade);
        // The period the drag selects, with the end's date when it crosses midnight.
        if (m_spanTo > m_spanFrom) {
            const BucketRange first = BucketAt(m_histogram.Zone(), m_histogram.Size(), TimeAtX(std::min(m_nPressX, m_nDragX)));
            const BucketRange last = BucketAt(m_histogram.Zone(), m_histogram.Size(), TimeAtX(std::max(m_nPressX, m_nDragX)));
            const QString range = RangeText(first.start, last.end);
            const int textX = std::clamp(std::min(m_nPressX, m_nDragX) + 2, area.left(),
                                         std::max(area.left(), area.right() - fontMetrics().horizontalAdvance(range)));
            painter.drawText(textX, area.top() + fontMetrics().ascent(), range);
        }
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
            m_clickStart = b.start;
            m_clickEnd = b.end;
            m_pClickTimer->start(QApplication::doubleClickInterval());
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
        m_pClickTimer->stop();  // the first click of the two goes to no row
        m_nPressX = m_nDragX = -1;
        emit periodCleared();
        return;  // the release that follows is no click either
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
