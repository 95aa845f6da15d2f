#pragma once
// List tests: Events logs written record by record in a temporary directory,
// opened through the stand-in module, and a list control shown offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "logstore/disklog.h"
#include "test_support/event_log_writer.h"
#include "test_support/module_fixture.h"
#include "ui/log_list_ctrl.h"

namespace korv::test {

// One record of an Events log: one row of that level.
struct Record {
    std::uint32_t level = 0x10000000;
    std::uint32_t aux = 0;
    bool deleted = false;
    bool corrupted = false;  // written with record type 0
};

// Appends the records to `path`, creating it when `create`.
inline void AppendEvents(const std::string& path, const std::vector<Record>& records, bool create) {
    std::vector<LogRecord> out;
    std::uint64_t time = 134000000000000000ull;
    for (const Record& r : records) {
        LogRecord rec;
        rec.type = r.corrupted ? 0 : kEventsRecord;
        rec.time = time += 10000000;
        rec.flags = r.deleted ? kDiskLogRecordDeleted : 0;
        rec.aux = r.aux;
        rec.payload = r.corrupted ? std::vector<std::uint8_t>(8, 0) : EventPayload(r.level, u"Kernel");
        out.push_back(std::move(rec));
    }
    AppendRecords(path, out, create);
}

// Records with aux values first+1 .. first+count, Information level.
inline std::vector<Record> NumberedRecords(int first, int count) {
    std::vector<Record> records;
    for (int i = 0; i < count; ++i) {
        records.push_back({0x10000000, static_cast<std::uint32_t>(first + i + 1)});
    }
    return records;
}

// Runs the event loop until `done` or about two seconds have passed.
template <typename Done>
bool PumpUntil(Done done, int ms = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// The stand-in module with both components open, and a list of known size.
class ListFixture : public StandinModuleTest {
protected:
    ListFixture() : StandinModuleTest("korv-list") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StandinModuleTest::SetUp());
        list_ = std::make_unique<CLogListCtrl>();
        list_->resize(600, 300);
        list_->show();
    }
    void TearDown() override {
        list_.reset();  // detaches the log's cache jobs before the log goes
        log_.reset();
        CloseComponents();
    }

    // Opens `path` as an Events log and loads every row, like the window's
    // first pass; `filter` replaces the start-up criteria when given.
    CLog& OpenLoaded(const std::string& path, int viewMode = LOG_VIEW_LIST,
                     std::uint32_t flags = kSecondInterface, std::optional<std::uint32_t> typeMask = {}) {
        log_ = OpenEventsLog(path, viewMode, flags);
        if (typeMask) {
            CLogFilterData filter;
            filter.m_nTypeMask = *typeMask;
            log_->SetFilter(filter);
        }
        LoadAll(*log_);
        return *log_;
    }

    // Attaches `log` and lets the view lay itself out, as the event loop
    // does before the user can scroll.
    void Attach(CLog& log) {
        list_->SetLog(&log);
        QApplication::processEvents();
    }

    // Loads the records appended since the last load, as the updater's
    // Apply does, without touching the list.
    void LoadAppended() {
        const auto before = static_cast<std::int32_t>(log_->Rows().size());
        ASSERT_TRUE(log_->GetFile());
        DiskLogLock(log_->GetFile());
        const bool rewritten = DiskLogRefresh(log_->GetFile());
        DiskLogUnlock(log_->GetFile());
        ASSERT_FALSE(rewritten);
        std::vector<REC_INFO_BASE> appended;
        log_->LoadRecords(appended, before, -1);
        ASSERT_FALSE(appended.empty());
        log_->Rows().insert(log_->Rows().end(), appended.begin(), appended.end());
        log_->RebuildVisible(true);
    }

    std::unique_ptr<CLog> log_;
    std::unique_ptr<CLogListCtrl> list_;
};

}  // namespace korv::test
