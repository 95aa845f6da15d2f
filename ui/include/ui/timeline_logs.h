#pragma once
// The logs of a timeline window: each opened as its own window would open it, followed by
// an updater of its own, and their visible rows merged by time, newest first.
//
// Threads: everything here is for the user-interface thread. Each log's updater is the one
// other thread that touches its log, and only through the hand-over of Apply (called here,
// on the user-interface thread) or while paused; the merged rows are rebuilt only after
// Apply, so they never name a row the log no longer has.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logmodel/log_type.h"
#include "logmodel/log_updater_thread.h"
#include "logmodel/timeline_merge.h"
#include "logmodel/timeline_text.h"

class ILogNotifySink;

namespace korv {

// What a timeline remembers of a row across a refresh: its log and its record and row.
struct TimelineKey {
    std::int32_t log = -1;  // -1: no row
    std::int32_t record = -1;
    std::int32_t row = -1;
    friend bool operator==(const TimelineKey&, const TimelineKey&) = default;
};

class TimelineLogs {
public:
    // One opened log with its updater. The updater goes before the log (declared after it).
    struct Log {
        CLog log;
        CLogUpdaterThread updater;
        std::u16string kind;  // the kind's display name
        std::unique_ptr<LogTimelineSource> source;
    };

    TimelineLogs() = default;
    // Stop(): every updater has left before the logs go.
    ~TimelineLogs();
    TimelineLogs(const TimelineLogs&) = delete;  // owns threads and open files
    TimelineLogs& operator=(const TimelineLogs&) = delete;

    // Opens the log file or directory `path` as the window's Open File does (without the
    // repair question). False with the reason in `why` when it does not open.
    bool OpenPath(const std::string& path, std::string& why);
    // Opens the product log of a Logs menu entry. False with the reason in `why`.
    bool OpenEntry(const LOG_INFO& entry, std::string& why);

    // Starts every log's updater posting to `sink` (which must outlive them until Stop)
    // and asks each for its first pass.
    void StartFollowing(ILogNotifySink* sink);
    // The one-second poll: a pass for every log whose file changed.
    void PollChanges();
    // Takes every log's pending rows; true when any log's rows changed (merge again then).
    bool ApplyPending();
    // Stops a log loaded once and not followed (view mode 3, a scan log) after its pass,
    // taking the rows it handed over; true when any log's rows changed.
    bool OnPassEnd();
    // Stops every updater.
    void Stop();
    // Some updater is running a pass.
    bool IsBusy() const;

    // Merges the logs' visible rows again.
    void Merge();
    int RowCount() const { return int(m_rows.size()); }
    std::size_t LogCount() const { return m_logs.size(); }
    Log& LogAt(std::size_t index) { return *m_logs[index]; }
    // The log and list position of a timeline row; null outside the rows.
    Log* Locate(int row, int& position);
    // The row's four texts; false outside the rows.
    bool Texts(int row, std::array<std::u16string, kTimelineColumns>& out);
    // The severity class bit of a row's level (0 outside the rows).
    std::uint32_t LevelClassOf(int row);
    TimelineKey KeyOf(int row);
    // The timeline row of a key; -1 when no row has it now.
    int Find(const TimelineKey& key);

private:
    bool Add(std::unique_ptr<Log> log, const LOG_INFO& entry);

    std::vector<std::unique_ptr<Log>> m_logs;  // in the order opened
    std::vector<TimelineRef> m_rows;           // the merge, newest first
    std::vector<std::u16string> m_scratch;     // cell texts of Texts
};

}  // namespace korv
