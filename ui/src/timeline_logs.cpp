// Opening, following and merging the logs of a timeline window.

#include "ui/timeline_logs.h"

#include "logmodel/severity.h"

#include <filesystem>

namespace korv {

TimelineLogs::~TimelineLogs() { Stop(); }

bool TimelineLogs::Add(std::unique_ptr<Log> log, const LOG_INFO& entry) {
    log->kind.assign(entry.m_strDisplayName.begin(), entry.m_strDisplayName.end());  // ASCII names
    log->source = std::make_unique<LogTimelineSource>(log->log);
    log->updater.SetLog(&log->log);
    m_logs.push_back(std::move(log));
    return true;
}

bool TimelineLogs::OpenPath(const std::string& path, std::string& why) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        why = "no such file or directory";
        return false;
    }
    bool damaged = false;
    const auto table = nsLog::GetLogTable();
    const int type = nsLog::RecogniseLogType(path, &damaged);
    if (!table || type < 0 || type >= int(table->size())) {
        why = UnknownLogTypeText(path, damaged);
        return false;
    }
    const LOG_INFO& entry = (*table)[std::size_t(type)];
    std::uint32_t flags = entry.m_dwFlags;
    // A single scan log shows its records in file order, as in its own window.
    const bool scanFile = (entry.m_nEntryKind & LOG_ENTRY_SCAN_FILE) != 0;
    if (scanFile) flags &= ~LOG_FLAG_DIRECTORY;
    auto log = std::make_unique<Log>();
    log->log.SetViewMode(scanFile ? LOG_VIEW_RECORD : LOG_VIEW_LIST);
    if (!log->log.Open(path, entry.m_nServiceValue, entry.m_nTypeId, flags, entry.m_strKey)) {
        why = "the log does not open";
        return false;
    }
    return Add(std::move(log), entry);
}

bool TimelineLogs::OpenEntry(const LOG_INFO& entry, std::string& why) {
    std::uint32_t flags = entry.m_dwFlags;
    const bool scanFile = (entry.m_nEntryKind & LOG_ENTRY_SCAN_FILE) != 0;
    if (scanFile) flags &= ~LOG_FLAG_DIRECTORY;
    auto log = std::make_unique<Log>();
    log->log.SetViewMode(scanFile ? LOG_VIEW_RECORD : LOG_VIEW_LIST);
    if (!log->log.Open(entry.m_strFileName, entry.m_nServiceValue, entry.m_nTypeId, flags, entry.m_strKey)) {
        why = "no such log or it does not open";
        return false;
    }
    return Add(std::move(log), entry);
}

void TimelineLogs::StartFollowing(ILogNotifySink* sink) {
    for (auto& l : m_logs) {
        l->updater.SetWindow(sink);
        l->updater.Start();
        l->updater.RequestUpdate();
    }
}

void TimelineLogs::PollChanges() {
    for (auto& l : m_logs) {
        if (l->updater.IsRunning() && l->log.IsOpen() && l->log.HasChanged()) l->updater.RequestUpdate();
    }
}

bool TimelineLogs::ApplyPending() {
    bool changed = false;
    for (auto& l : m_logs) changed = l->updater.Apply() || changed;
    return changed;
}

bool TimelineLogs::OnPassEnd() {
    bool changed = false;
    for (auto& l : m_logs) {
        // As in the log's own window: a scan log is loaded once; what it handed over goes in
        // before its updater stops, or it would be lost.
        if (l->log.GetViewMode() != LOG_VIEW_LIST && l->updater.IsRunning() &&
            l->updater.PassesCompleted() > 0 && !l->updater.IsBusy()) {
            changed = l->updater.Apply() || changed;
            l->updater.SetLog(nullptr);
            l->updater.Stop();
        }
    }
    return changed;
}

void TimelineLogs::Stop() {
    for (auto& l : m_logs) {
        l->updater.SetWindow(nullptr);
        l->updater.Stop();
    }
}

bool TimelineLogs::IsBusy() const {
    for (const auto& l : m_logs) {
        if (l->updater.IsBusy()) return true;
    }
    return false;
}

void TimelineLogs::Merge() {
    std::vector<const TimelineSource*> sources;
    sources.reserve(m_logs.size());
    for (const auto& l : m_logs) sources.push_back(l->source.get());
    m_rows = MergeTimeline(sources);
}

TimelineLogs::Log* TimelineLogs::Locate(int row, int& position) {
    if (row < 0 || row >= RowCount()) return nullptr;
    const TimelineRef ref = m_rows[std::size_t(row)];
    Log& l = *m_logs[ref.log];
    position = l.source->ListPosition(ref.position);
    return &l;
}

bool TimelineLogs::Texts(int row, std::array<std::u16string, kTimelineColumns>& out) {
    int position = 0;
    Log* l = Locate(row, position);
    return l != nullptr && MakeTimelineTexts(l->log, position, l->kind, m_scratch, out);
}

std::uint32_t TimelineLogs::LevelClassOf(int row) {
    int position = 0;
    Log* l = Locate(row, position);
    std::uint32_t levelClass = 0;
    if (l == nullptr || !l->log.GetRowLevelClass(position, levelClass)) return 0;
    return levelClass;
}

TimelineKey TimelineLogs::KeyOf(int row) {
    int position = 0;
    Log* l = Locate(row, position);
    const REC_INFO_BASE* info = l != nullptr ? l->log.GetRow(position) : nullptr;
    if (info == nullptr) return {};
    return {std::int32_t(m_rows[std::size_t(row)].log), info->record, info->row};
}

int TimelineLogs::Find(const TimelineKey& key) {
    if (key.log < 0) return -1;
    for (int row = 0; row < RowCount(); ++row) {
        if (m_rows[std::size_t(row)].log != std::uint32_t(key.log)) continue;
        if (KeyOf(row) == key) return row;
    }
    return -1;
}

}  // namespace korv
