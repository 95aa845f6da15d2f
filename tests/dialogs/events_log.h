#pragma once
// A real opened log for the command tests: an Events log written with the
// stand-in writer and decoded by the stand-in module from the build's bin dir.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "logmodel/log.h"
#include "platform/filetime.h"
#include "test_support/event_log_writer.h"
#include "test_support/module_fixture.h"
#include "test_support/temp_dir.h"

namespace korv::test {

// One Events record with one row: module, message id, user.
struct EventRecord {
    std::uint32_t level = 0x20000000;
    std::u16string module;
    std::u16string user = u"SYSTEM";
};

// The records ten seconds apart from 2023-11-14 22:13:20 UTC on.
inline void WriteEvents(const std::string& path, const std::vector<EventRecord>& records) {
    std::vector<LogRecord> out;
    std::uint64_t time = platform::filetime_from_unix(1700000000);
    for (const EventRecord& r : records) {
        LogRecord rec;
        rec.time = time;
        time += 10'000'000;
        rec.payload = EventPayload({EventRow{r.level, r.module, 1, r.user}});
        out.push_back(std::move(rec));
    }
    AppendRecords(path, out, true);
}

// The stand-in module with both components open, and logs opened over it.
class EventsLogTest : public StandinModuleTest {
protected:
    EventsLogTest() : StandinModuleTest("korv-dlg") {}
    void TearDown() override {
        log_.reset();
        CloseComponents();
    }
    // Writes `records`, opens them as an Events log in view mode 1 and loads
    // every row.
    CLog& Open(const std::vector<EventRecord>& records) {
        path_ = dir_.Path("events.dat");
        WriteEvents(path_, records);
        log_ = OpenEventsLog(path_);
        LoadAll(*log_);
        return *log_;
    }

    std::string path_;
    std::unique_ptr<CLog> log_;
};

}  // namespace korv::test
