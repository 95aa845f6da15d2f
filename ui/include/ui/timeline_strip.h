#pragma once
// The severity timeline above the list: the visible rows counted per time bucket, one bar per
// bucket stacked by severity class on a square-root scale, the time axis at round steps of
// the shown time zone. Painting walks the
// buckets only, so its cost does not grow with the rows. The window tells the strip when rows
// were appended or replaced; any other change (filter, zone, log) it notices in Sync and
// recounts.
//
// Mouse: hovering shows a bucket's range and counts; a click on a bar asks for the list to
// go to the bucket's first row; a drag selects the buckets it crosses as a period; a double
// click asks for the period to be cleared.

#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "logmodel/filter_data.h"
#include "logmodel/time_histogram.h"

class CLog;
struct LogApplyResult;

namespace korv {

class TimelineStrip : public QWidget {
    Q_OBJECT

public:
    explicit TimelineStrip(QWidget* parent);

    // The log whose visible rows are counted (null for none); recounts.
    void SetLog(const CLog* log);
    // After the updater's hand-over: `replaced` rows are recounted, appended ones added.
    void RowsApplied(const LogApplyResult& change);
    // Recounts when the filter, the zone, the log's state or the width's bucket size changed
    // since the last count; otherwise nothing.
    void Sync();
    // Recounts from the log's visible rows.
    void Recount();

    const TimeHistogram& Histogram() const { return m_histogram; }
    // The first and last instants the strip spans (first bucket start, last bucket end).
    std::int64_t SpanFrom() const { return m_spanFrom; }
    std::int64_t SpanTo() const { return m_spanTo; }
    // Geometry of the bars, for the mouse and for tests driving it.
    int XOfTime(std::int64_t utc) const;
    std::int64_t TimeAtX(int x) const;
    // Columns (buckets) the current width holds.
    int Columns() const;
    // The hover text of the bucket under `x` (its range, counts and the bars' scale) and the
    // count of rows without a time; empty where neither is.
    QString ToolTipAt(int x) const;
    // "2026-11-29 22:00 – 2026-11-30 02:00": the end's date only when the day changes.
    QString RangeText(std::int64_t from, std::int64_t to) const;
    // Whether the strip shows something for this log: a whole log (a file log in either view,
    // a directory of scan logs), not one record.
    static bool Applies(const CLog* log);

signals:
    // A period picked by dragging: UTC seconds, both inclusive.
    void periodSelected(qint64 from, qint64 to);
    void periodCleared();
    // A click on the bucket [start, end) that holds rows.
    void bucketClicked(qint64 start, qint64 end);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool event(QEvent* e) override;

private:
    // What a count depends on besides the rows.
    struct CountState {
        const CLog* log = nullptr;
        bool open = false;
        long zoneOffsetWest = 0;
        std::uint32_t typeMask = 0, options = 0, columnMask = 0;
        std::int64_t timeFrom = 0, timeTo = 0;
        std::u16string text;
        bool operator==(const CountState&) const = default;
    };
    CountState CurrentState() const;
    void UpdateSpan();
    QRect BarArea() const;
    QString LocalText(std::int64_t utc, bool withDate) const;

    const CLog* m_pLog = nullptr;
    TimeHistogram m_histogram;
    CountState m_counted;
    std::size_t m_nCountedRows = 0;  // rows (not only visible ones) the counts cover
    std::int64_t m_spanFrom = 0, m_spanTo = 0;
    int m_nPressX = -1;  // where a press started, -1 when none
    int m_nDragX = -1;   // where the drag is now, for the selection drawn
    // A click waits out the double-click interval: a double click clears the period and
    // must not also go to a row. Cancelled by the double click.
    QTimer* m_pClickTimer = nullptr;  // owned through Qt's parent chain
    std::int64_t m_clickStart = 0, m_clickEnd = 0;  // the bucket the pending click is on
};

// View › Timeline, one choice for every window, remembered between runs (default: shown).
bool ReadTimelineShown();
void WriteTimelineShown(bool shown);

}  // namespace korv
