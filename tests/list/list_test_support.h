#pragma once
// List tests: Events logs written record by record in a temporary directory,
// opened through the stand-in module, and a list control shown offscreen.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "logstore/disklog.h"
#include "standin/logfile.h"
#include "standin/payload.h"
#include "ui/log_list_ctrl.h"

namespace korv::test {

inline constexpr std::int32_t kEventsType = 2;
inline constexpr std::uint32_t kEventsRecord = 0x00010002;
inline constexpr std::uint32_t kSecondInterface = 0x8;

// One record of an Events log: one row of that level.
struct Record {
    std::uint32_t level = 0x10000000;
    std::uint32_t aux = 0;
    bool deleted = false;
    bool corrupted = false;  // written with record type 0
};

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korv-list-XXXXXX").string();
        if (::mkdtemp(pattern.data())) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> EventPayload(std::uint32_t level, std::u16string_view module) {
    standin::PayloadEncoder e;
    e.begin_row(level);
    e.add_text(module);
    e.add_msg(1);
    e.add_text(u"SYSTEM");
    std::span<const std::uint8_t> out;
    if (e.finish(&out) != standin::PayloadResult::Ok) {
        return {};
    }
    return {out.begin(), out.end()};
}

// Appends the records to `path`, creating it when `create`.
inline void AppendEvents(const std::string& path, const std::vector<Record>& records, bool create) {
    standin::LogFileWriter w;
    ASSERT_EQ(create ? w.create(path) : w.open(path), platform::FileError::ok);
    std::uint64_t time = 134000000000000000ull;
    for (const Record& r : records) {
        const std::vector<std::uint8_t> payload =
            r.corrupted ? std::vector<std::uint8_t>(8, 0) : EventPayload(r.level, u"Kernel");
        standin::NewRecord rec;
        rec.type = r.corrupted ? 0 : kEventsRecord;
        rec.time = time += 10000000;
        rec.flags = r.deleted ? kDiskLogRecordDeleted : 0;
        rec.aux = r.aux;
        rec.payload = std::span<const unsigned char>(payload.data(), payload.size());
        ASSERT_EQ(w.append(rec), platform::FileError::ok);
    }
    ASSERT_EQ(w.flush(), platform::FileError::ok);
    ASSERT_EQ(w.close(), platform::FileError::ok);
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
class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_process_utc_offset(0);
        SetHostLanguage(1033);
        loader_.emplace(&HostServices, std::string(KORV_BIN_DIR) + "/");
        ASSERT_TRUE(loader_->StartModule()) << "lvmod_32.so in " << KORV_BIN_DIR;
        second_.emplace(*loader_, kComponentSecond);
        first_.emplace(*loader_, kComponentFirst);
        ASSERT_EQ(second_->OpenComponent(), kResultOk);
        ASSERT_EQ(first_->OpenComponent(), kResultOk);
        list_ = std::make_unique<CLogListCtrl>();
        list_->resize(600, 300);
        list_->show();
    }
    void TearDown() override {
        list_.reset();  // detaches the log's cache jobs before the log goes
        log_.reset();
        second_.reset();
        first_.reset();
    }

    // Opens `path` as an Events log and loads every row, like the window's
    // first pass; `filter` replaces the start-up criteria when given.
    CLog& OpenLoaded(const std::string& path, int viewMode = LOG_VIEW_LIST,
                     std::uint32_t flags = kSecondInterface, std::optional<std::uint32_t> typeMask = {}) {
        log_ = std::make_unique<CLog>(&*second_, &*first_);
        log_->SetViewMode(viewMode);
        EXPECT_TRUE(log_->Open(path, 7, kEventsType, flags, "warnlog"));
        if (typeMask) {
            CLogFilterData filter;
            filter.m_nTypeMask = *typeMask;
            log_->SetFilter(filter);
        }
        log_->LoadRecords(log_->Rows(), 0, -1);
        log_->RebuildVisible(true);
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

    TempDir dir_;
    std::optional<ModuleLoader> loader_;
    std::optional<ComponentHolder> second_, first_;
    std::unique_ptr<CLog> log_;
    std::unique_ptr<CLogListCtrl> list_;
};

}  // namespace korv::test
