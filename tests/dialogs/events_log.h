#pragma once
// A real opened log for the command tests: an Events log written with the
// stand-in writer and decoded by the stand-in module from the build's bin dir.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
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
#include "standin/logfile.h"
#include "standin/payload.h"

namespace korv::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "korv-dlg-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
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

// One Events record with one row: module, message id, user.
struct EventRecord {
    std::uint32_t level = 0x20000000;
    std::u16string module;
    std::u16string user = u"SYSTEM";
};

inline void WriteEvents(const std::string& path, const std::vector<EventRecord>& records) {
    standin::LogFileWriter writer;
    ASSERT_EQ(writer.create(path), platform::FileError::ok);
    std::uint64_t time = platform::filetime_from_unix(1700000000);
    for (const EventRecord& r : records) {
        standin::PayloadEncoder e;
        e.begin_row(r.level);
        e.add_text(r.module);
        e.add_msg(1);
        e.add_text(r.user);
        std::span<const std::uint8_t> payload;
        ASSERT_EQ(e.finish(&payload), standin::PayloadResult::Ok);
        standin::NewRecord rec;
        rec.type = 0x00010002;
        rec.time = time;
        time += 10'000'000;
        rec.payload = std::span<const unsigned char>(payload.data(), payload.size());
        ASSERT_EQ(writer.append(rec), platform::FileError::ok);
    }
    ASSERT_EQ(writer.flush(), platform::FileError::ok);
    ASSERT_EQ(writer.close(), platform::FileError::ok);
}

// The stand-in module with both components open, and logs opened over it.
class EventsLogTest : public ::testing::Test {
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
    }
    void TearDown() override {
        log_.reset();
        second_.reset();
        first_.reset();
    }
    // Writes `records`, opens them as an Events log in view mode 1 and loads
    // every row.
    CLog& Open(const std::vector<EventRecord>& records) {
        path_ = dir_.Path("events.dat");
        WriteEvents(path_, records);
        log_ = std::make_unique<CLog>(&*second_, &*first_);
        log_->SetViewMode(LOG_VIEW_LIST);
        EXPECT_TRUE(log_->Open(path_, 7, 2, 0x8, "warnlog"));
        log_->LoadRecords(log_->Rows(), 0, -1);
        log_->RebuildVisible(true);
        return *log_;
    }

    TempDir dir_;
    std::string path_;
    std::optional<ModuleLoader> loader_;
    std::optional<ComponentHolder> second_, first_;
    std::unique_ptr<CLog> log_;
};

}  // namespace korv::test
