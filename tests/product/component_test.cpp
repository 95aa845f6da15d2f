// Component holders: open, re-use of an unchanged version, refused
// installs, close on the last reference, and 7015 without a module.
#include "product/module_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "product/held_instance.h"
#include "product/host_services.h"
#include "product/module_requests.h"
#include "test_support.h"

namespace {

using korv::ComponentHolder;
using korv::ModuleLoader;
using korv::test::FakeModule;
using korv::test::TempDir;

TEST(ComponentHolder, WithoutAModuleEveryRequestIs7015) {
    TempDir empty;
    ModuleLoader loader(&HostServices, empty.Dir());
    EXPECT_FALSE(loader.StartModule());
    ComponentHolder holder(loader, kComponentSecond);
    EXPECT_EQ(holder.OpenComponent(), kResultNoModule);
    const auto instance = holder.CurrentInstance();
    EXPECT_EQ(instance, nullptr);

    std::u16string text;
    std::vector<uint8_t> block;
    std::vector<uint16_t> languages;
    uint32_t language = 0;
    const uint8_t payload[4] = {};
    const auto params = korv::MakeParamRecord(false, false);
    EXPECT_EQ(korv::RequestHeaderText2(instance.get(), 2, 1, params, text), kResultNoModule);
    EXPECT_EQ(korv::RequestHeaderText1(instance.get(), 2, 1, text), kResultNoModule);
    EXPECT_EQ(korv::RequestDecode2(instance.get(), 2, payload, 1, params, block), kResultNoModule);
    EXPECT_EQ(korv::RequestDecode1(instance.get(), 2, 0x10002, 1, payload, block), kResultNoModule);
    EXPECT_EQ(korv::RequestListLanguages(instance.get(), languages), kResultNoModule);
    EXPECT_EQ(korv::RequestGetLanguage(instance.get(), language), kResultNoModule);
    EXPECT_EQ(language, 1033u);
    EXPECT_EQ(korv::RequestSetLanguage(instance.get(), 1031), kResultNoModule);
}

TEST(ComponentHolder, AnUnchangedVersionGives3104AndKeepsTheInstance) {
    TempDir dir;
    dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    ComponentHolder holder(loader, kComponentSecond);
    ASSERT_EQ(holder.OpenComponent(), kResultOk);
    const auto first = holder.CurrentInstance();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->handle(), 0);
    EXPECT_NE(first->function(), nullptr);
    EXPECT_EQ(holder.OpenComponent(), kResultSameVersion);
    EXPECT_EQ(holder.CurrentInstance(), first);
}

TEST(ComponentHolder, ARefusedInstallLeavesThePreviousState) {
    TempDir dir;
    dir.Copy(FakeModule("refuse_install"), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    ComponentHolder holder(loader, kComponentFirst);
    EXPECT_EQ(holder.OpenComponent(), kResultFailed);
    EXPECT_EQ(holder.CurrentInstance(), nullptr);
}

TEST(ComponentHolder, CloseDropsTheInstanceOnlyAfterTheLastUser) {
    TempDir dir;
    dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    ComponentHolder holder(loader, kComponentFirst);
    ASSERT_EQ(holder.OpenComponent(), kResultOk);
    auto user = holder.CurrentInstance();
    holder.CloseComponent();
    EXPECT_EQ(holder.CurrentInstance(), nullptr);
    // The user's copy still works until it lets go.
    std::u16string text;
    EXPECT_EQ(korv::RequestHeaderText1(user.get(), 2, 1, text), kResultOk);
    EXPECT_FALSE(text.empty());
    user.reset();
    ASSERT_EQ(holder.OpenComponent(), kResultOk) << "a closed holder opens again";
}

TEST(ComponentHolder, AnInstanceOfAnUnloadedModuleIsNotCalled) {
    TempDir dir;
    dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    ComponentHolder holder(loader, kComponentFirst);
    ASSERT_EQ(holder.OpenComponent(), kResultOk);
    auto stale = holder.CurrentInstance();
    std::unique_ptr<korv::ModuleRecord> none;
    ASSERT_TRUE(loader.SetModule(none));
    std::u16string text;
    EXPECT_EQ(korv::RequestHeaderText1(stale.get(), 2, 1, text), kResultNoModule);
    holder.CloseComponent();
}

// A run holds the module: an unload waits until the run lets go, the run's calls are served
// meanwhile, and a run taken after the unload reaches nothing.
TEST(HeldInstance, AnUnloadWaitsForTheRunAndARunAfterItReachesNothing) {
    TempDir dir;
    dir.Copy(korv::test::StandinModule(), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    ComponentHolder holder(loader, kComponentSecond);
    ASSERT_EQ(holder.OpenComponent(), kResultOk);
    auto header = [](const korv::HeldInstance& held) {
        char16_t buffer[512] = {};
        return held.Call(kReqHeaderText1, 2, 1, buffer, 512);
    };
    korv::HeldInstance run(&holder);
    ASSERT_TRUE(run);
    std::atomic<bool> unloaded{false};
    std::thread unload([&] {
        std::unique_ptr<korv::ModuleRecord> none;
        loader.SetModule(none);
        unloaded = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(unloaded) << "the run still holds the module";
    EXPECT_EQ(header(run), kResultOk);
    run.Release();
    EXPECT_EQ(header(run), kResultNoModule) << "let go";
    unload.join();
    EXPECT_TRUE(unloaded);
    korv::HeldInstance after(&holder);
    EXPECT_FALSE(after);
    EXPECT_EQ(header(after), kResultNoModule);
    std::vector<uint8_t> block{1, 2, 3};
    const uint8_t payload[4] = {};
    EXPECT_EQ(korv::RequestDecode2(after, 2, payload, 1, korv::MakeParamRecord(false, false), block),
              kResultNoModule);
    EXPECT_TRUE(block.empty());
    holder.CloseComponent();
}

}  // namespace

namespace {

// The viewer's own loader and holders over the module beside the executable.
TEST(ProductModule, StartOpensBothHoldersAndHostForwardsToTheModule) {
    ASSERT_TRUE(korv::StartProductModule());
    EXPECT_EQ(korv::ModuleLoader::Global().CurrentName(), u"KORV log viewer module");
    ASSERT_NE(korv::SecondInterfaceHolder().CurrentInstance(), nullptr);
    ASSERT_NE(korv::FirstInterfaceHolder().CurrentInstance(), nullptr);
    EXPECT_EQ(korv::SecondInterfaceHolder().CurrentInstance()->component_id(), kComponentSecond);
    EXPECT_EQ(korv::FirstInterfaceHolder().CurrentInstance()->component_id(), kComponentFirst);

    // 3020 of an unknown handle reaches the module, which refuses it.
    const intptr_t block[7] = {123456};
    EXPECT_EQ(HostServices(kModuleReqCloseComponent | kCallArgBlock, reinterpret_cast<intptr_t>(block)),
              kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kModuleReqCloseComponent, 123456, 0, 0, 0, 0, 0, 0), kResultFailed);

    korv::StopProductModule();
    EXPECT_EQ(korv::SecondInterfaceHolder().CurrentInstance(), nullptr);
    EXPECT_EQ(korv::FirstInterfaceHolder().CurrentInstance(), nullptr);
    EXPECT_EQ(korv::test::CallHost(kModuleReqCloseComponent, 123456, 0, 0, 0, 0, 0, 0), kResultNotServed);
}

}  // namespace
