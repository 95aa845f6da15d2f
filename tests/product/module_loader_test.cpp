// Finding the module file, reading its information block, surviving bad
// modules, and exchanging the module while other threads call it.
#include "product/module_loader.h"

#include <atomic>
#include <cstring>
#include <latch>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "product/host_services.h"
#include "test_support.h"

namespace {

using korv::ModuleLoader;
using korv::ModuleRecord;
using korv::test::FakeModule;
using korv::test::TempDir;

struct SearchCase {
    const char* name;
    std::vector<std::pair<const char*, bool>> files;  // path, non-empty
    const char* expected;                             // relative path or null
};

class ModuleSearch : public testing::TestWithParam<SearchCase> {};

TEST_P(ModuleSearch, PicksTheRightFile) {
    const SearchCase& c = GetParam();
    TempDir dir;
    for (const auto& [path, full] : c.files) dir.Write(path, full ? "module" : "");
    const auto found = korv::FindModuleFile(dir.Dir());
    if (c.expected == nullptr) {
        EXPECT_FALSE(found.has_value()) << *found;
    } else {
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(*found, dir.Dir() + c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ModuleSearch,
    testing::Values(
        SearchCase{"DirectWins", {{"lvmod_32.so", true}, {"lvmod_32/7/lvmod_32.so", true}}, "lvmod_32.so"},
        SearchCase{"OnlyThree",
                   {{"lvmod_32/3/lvmod_32.so", true}, {"lvmod_32/12/lvmod_32.so", false},
                    {"lvmod_32/x9/lvmod_32.so", true}},
                   "lvmod_32/3/lvmod_32.so"},
        SearchCase{"HighestNumber",
                   {{"lvmod_32/9/lvmod_32.so", true}, {"lvmod_32/10/lvmod_32.so", true},
                    {"lvmod_32/2/lvmod_32.so", true}},
                   "lvmod_32/10/lvmod_32.so"},
        SearchCase{"EmptyDirectFallsBack", {{"lvmod_32.so", false}, {"lvmod_32/5/lvmod_32.so", true}},
                   "lvmod_32/5/lvmod_32.so"},
        SearchCase{"ZeroAndMaxAndSignsAreNotVersions",
                   {{"lvmod_32/0/lvmod_32.so", true}, {"lvmod_32/4294967295/lvmod_32.so", true},
                    {"lvmod_32/4294967296/lvmod_32.so", true}, {"lvmod_32/-5/lvmod_32.so", true},
                    {"lvmod_32/+6/lvmod_32.so", true}},
                   nullptr},
        // The path is made from the number, so "007" names a directory "7".
        SearchCase{"LeadingZerosNameTheNumber", {{"lvmod_32/007/lvmod_32.so", true}}, nullptr},
        SearchCase{"Nothing", {{"other.so", true}}, nullptr}),
    [](const testing::TestParamInfo<SearchCase>& i) { return i.param.name; });

// An information block in bytes: magic, length, entries.
std::vector<unsigned char> Block(uint32_t length, const std::vector<unsigned char>& entries, bool magic = true) {
    std::vector<unsigned char> b(0x14, 0);
    if (magic) std::memcpy(b.data(), kModuleInfoMagic, sizeof kModuleInfoMagic);
    std::memcpy(b.data() + 0x10, &length, 4);
    b.insert(b.end(), entries.begin(), entries.end());
    return b;
}

std::vector<unsigned char> Entry(uint32_t key, const std::string& value, uint32_t claimed = UINT32_MAX) {
    std::vector<unsigned char> e(8);
    const uint32_t l = claimed == UINT32_MAX ? static_cast<uint32_t>(value.size()) : claimed;
    std::memcpy(e.data(), &key, 4);
    std::memcpy(e.data() + 4, &l, 4);
    e.insert(e.end(), value.begin(), value.end());
    return e;
}

std::vector<unsigned char> Concat(std::initializer_list<std::vector<unsigned char>> parts) {
    std::vector<unsigned char> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const std::string kVersion42("\x2a\0\0\0", 4);

TEST(ModuleInfo, ReadsEntriesAndRejectsWhatLiesOutside) {
    struct Case {
        const char* what;
        std::vector<unsigned char> block;
        uint32_t version;
        std::u16string name;
    };
    const auto entries = Concat({Entry(1, kVersion42), Entry(2, std::string("Mod\0", 4))});
    const uint32_t n = static_cast<uint32_t>(entries.size());
    const std::string longName(120, 'n');
    const std::vector<Case> cases = {
        {"both entries", Block(n, entries), 42, u"Mod"},
        {"no magic", Block(n, entries, false), 0, u""},
        {"length 4000", Block(4000, entries), 0, u""},
        {"length past the symbol", Block(n + 1, entries), 0, u""},
        {"version of 2 bytes", Block(10, Entry(1, "ab")), 0, u""},
        {"value runs past the data", Block(12, Entry(1, kVersion42, 8)), 0, u""},
        {"name without NUL", Block(11, Entry(2, "abc")), 0, u"abc"},
        {"first match wins",
         Block(24, Concat({Entry(1, kVersion42), Entry(1, std::string("\x07\0\0\0", 4))})), 42, u""},
        {"name cut to 95", Block(8 + 121, Entry(2, longName + '\0')), 0, std::u16string(95, u'n')},
        {"shorter than a header", std::vector<unsigned char>(10, 0), 0, u""},
    };
    for (const Case& c : cases) {
        uint32_t version = 99;
        char16_t name[kModuleNameChars];
        korv::ReadModuleInfo(c.block.data(), c.block.size(), version, name);
        EXPECT_EQ(version, c.version) << c.what;
        EXPECT_EQ(std::u16string(name), c.name) << c.what;
    }
}

struct BadModule {
    const char* name;
    const char* variant;  // fake module, or null for `bytes`
    const char* bytes;
};

class BadModules : public testing::TestWithParam<BadModule> {};

TEST_P(BadModules, LeaveTheViewerWithoutAModule) {
    TempDir dir;
    if (GetParam().variant != nullptr) {
        dir.Copy(FakeModule(GetParam().variant), "lvmod_32.so");
    } else {
        dir.Write("lvmod_32.so", GetParam().bytes);
    }
    ModuleLoader loader(&HostServices, dir.Dir());
    EXPECT_EQ(loader.LoadModule(dir.Dir()), nullptr);
    EXPECT_FALSE(loader.StartModule());
    EXPECT_EQ(loader.AcquireModule(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Survived, BadModules,
                         testing::Values(BadModule{"Empty", nullptr, ""},
                                         BadModule{"NotASharedObject", nullptr, "MZ this is text\n"},
                                         BadModule{"NoEntry", "no_entry", nullptr},
                                         BadModule{"RefusedStart", "refuse_start", nullptr}),
                         [](const testing::TestParamInfo<BadModule>& i) { return i.param.name; });

TEST(ModuleLoading, ABlockThatIsMissingOrTooLongStillLoads) {
    for (const char* variant : {"no_info", "len4000"}) {
        TempDir dir;
        dir.Copy(FakeModule(variant), "lvmod_32.so");
        ModuleLoader loader(&HostServices, dir.Dir());
        ASSERT_TRUE(loader.StartModule()) << variant;
        EXPECT_EQ(loader.CurrentVersion(), 0u) << variant;
        EXPECT_EQ(loader.CurrentName(), u"") << variant;
    }
}

TEST(ModuleLoading, StartKeepsAModuleThatAnswersItsOwnVersion) {
    TempDir dir;
    dir.Copy(FakeModule("good"), "lvmod_32/3/lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    EXPECT_EQ(loader.CurrentVersion(), 7u);
    EXPECT_EQ(loader.CurrentName(), u"Fake");
    uint64_t first;
    {
        korv::ModuleHold hold(loader);
        ASSERT_TRUE(hold);
        first = hold->generation;
    }
    ASSERT_TRUE(loader.StartModule());
    korv::ModuleHold hold(loader);
    EXPECT_EQ(hold->generation, first) << "the probe matched: no reload";
}

TEST(ModuleLoading, ARefusedExchangeKeepsTheCurrentModule) {
    TempDir dir, other;
    dir.Copy(FakeModule("good"), "lvmod_32.so");
    other.Copy(FakeModule("refuse_replace"), "lvmod_32.so");
    ModuleLoader loader(&HostServices, dir.Dir());
    ASSERT_TRUE(loader.StartModule());
    auto refusing = loader.LoadModule(other.Dir());
    ASSERT_NE(refusing, nullptr);
    EXPECT_FALSE(loader.SetModule(refusing));
    EXPECT_NE(refusing, nullptr) << "stays with the caller";
    EXPECT_EQ(loader.CurrentName(), u"Fake");
    std::unique_ptr<ModuleRecord> none;
    EXPECT_TRUE(loader.SetModule(none));
    EXPECT_EQ(loader.AcquireModule(), nullptr);
}

// The test host: the fake module calls 9000 while it answers 3039, that is
// while the exchange holds the lock.
std::latch* g_exchangeStarted = nullptr;
intptr_t SignallingHost(intptr_t code, ...) {
    if (code == 9000 && g_exchangeStarted != nullptr) {
        g_exchangeStarted->count_down();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return kResultOk;
    }
    return kResultNotServed;
}

TEST(ModuleLoading, ARequestDuringAnExchangeReachesTheNewModule) {
    TempDir a, b;
    a.Copy(FakeModule("good"), "lvmod_32.so");
    b.Copy(FakeModule("good"), "lvmod_32.so");
    ModuleLoader loader(&SignallingHost, a.Dir());
    ASSERT_TRUE(loader.StartModule());
    auto fresh = loader.LoadModule(b.Dir());
    ASSERT_NE(fresh, nullptr);
    const uint64_t freshGeneration = fresh->generation;

    std::latch started(1);
    g_exchangeStarted = &started;
    std::thread exchanger([&] { EXPECT_TRUE(loader.SetModule(fresh)); });
    started.wait();
    uint64_t seen = 0;
    intptr_t answer = -1;
    {
        korv::ModuleHold hold(loader);
        ASSERT_TRUE(hold);
        seen = hold->generation;
        answer = hold->Request()(kModuleReqCloseComponent, 1);
    }
    exchanger.join();
    g_exchangeStarted = nullptr;
    EXPECT_EQ(seen, freshGeneration);
    EXPECT_EQ(answer, kResultOk);
}

}  // namespace
