#pragma once
// Tests over the stand-in module: a temporary directory, the module behind a loader and
// holders of their own with both components open, and Events logs opened over it.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "event_log_writer.h"
#include "logmodel/log.h"
#include "platform/tz.h"
#include "product/host_services.h"
#include "product/module_manager.h"
#include "temp_dir.h"

namespace korv::test {

// The members go in the order dir_, loader_, second_, first_, so that without a
// CloseComponents the components close first and the directory goes last, after
// everything a derived fixture declares.
class StandinModuleTest : public ::testing::Test {
 protected:
  explicit StandinModuleTest(std::string_view dirPrefix = "korv-test") : dir_(dirPrefix) {}

  // The stand-in module from the build's bin directory, in UTC and English.
  void SetUp() override { StartModuleIn(std::string(KORV_BIN_DIR) + "/"); }

  // Loads the module found in `directory` (with a trailing '/') and opens both components.
  void StartModuleIn(const std::string& directory) {
    platform::set_process_utc_offset(0);
    SetHostLanguage(1033);
    loader_.emplace(&HostServices, directory);
    ASSERT_TRUE(loader_->StartModule()) << "lvmod_32.so in " << directory;
    second_.emplace(*loader_, kComponentSecond);
    first_.emplace(*loader_, kComponentFirst);
    ASSERT_EQ(second_->OpenComponent(), kResultOk);
    ASSERT_EQ(first_->OpenComponent(), kResultOk);
  }
  // Closes the second component, then the first; every log over them must be gone.
  void CloseComponents() {
    second_.reset();
    first_.reset();
  }

  // A closed CLog over the stand-in.
  std::unique_ptr<CLog> NewLog() { return std::make_unique<CLog>(&*second_, &*first_); }
  // A CLog opened on `path` as an Events log, with no row loaded.
  std::unique_ptr<CLog> OpenEventsLog(const std::string& path, int viewMode = LOG_VIEW_LIST,
                                      std::uint32_t flags = kSecondInterface) {
    auto log = NewLog();
    log->SetViewMode(viewMode);
    EXPECT_TRUE(log->Open(path, 7, kEventsType, flags, "warnlog")) << path;
    return log;
  }
  // Loads every row as the window does first, with the criteria the log has.
  static void LoadAll(CLog& log) {
    log.LoadRecords(log.Rows(), 0, -1);
    log.RebuildVisible(true);
  }

  TempDir dir_;
  std::optional<ModuleLoader> loader_;
  std::optional<ComponentHolder> second_, first_;
};

}  // namespace korv::test
