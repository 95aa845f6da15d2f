// One or more cases per host service group, through the host function as a
// module calls it (both argument forms).
#include "product/host_services.h"

#include <cstring>
#include <filesystem>
#include <string>

#include <optional>

#include <gtest/gtest.h>

#include "platform/tz.h"
#include "test_support.h"

namespace {

template <class T>
intptr_t P(T* p) {
    return reinterpret_cast<intptr_t>(p);
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST(HostServices, UnknownAndUnservedCodes) {
    for (intptr_t code : {intptr_t{0}, intptr_t{2000}, intptr_t{2017}, intptr_t{4999}}) {
        EXPECT_EQ(korv::test::CallHost(code, 0, 0, 0), kResultNotServed) << code;
    }
    EXPECT_EQ(korv::test::CallHost(kHostCapability, 256), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostCapability, 257), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostCapability, 258), kResultNotServed);
    EXPECT_EQ(korv::test::CallHost(kHostCapability | kCallArgBlock, 0), kResultNullPointer) << "null argument block";
    // No module in the viewer's own loader in this test process.
    const intptr_t block[7] = {};
    EXPECT_EQ(korv::test::CallHost(3018 | kCallArgBlock, P(block)), kResultNotServed);
}

TEST(HostServices, SettingsQueryAnswersTheLanguage) {
    uint32_t value = 0;
    EXPECT_EQ(korv::test::CallHost(kHostSettings, kSettingsKeyLanguage, P(&value), 4), kResultOk);
    EXPECT_EQ(value, 0x0409u);
    korv::SetHostLanguage(1029);
    EXPECT_EQ(korv::test::CallHost(kHostSettings, kSettingsKeyLanguage, P(&value), 4), kResultOk);
    EXPECT_EQ(value, 1029u);
    korv::SetHostLanguage(1033);
    EXPECT_EQ(korv::test::CallHost(kHostSettings, 0x1234, P(&value), 4), kResultNotServed);
    EXPECT_EQ(korv::test::CallHost(kHostSettings, kSettingsKeyLanguage, P(&value), 2), kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kHostSettings, kSettingsKeyLanguage, 0, 4), kResultNullPointer);
}

TEST(HostServices, Memory) {
    void* p = nullptr;
    ASSERT_EQ(korv::test::CallHost(kHostCommit, 10000, 0, P(&p)), kResultOk);
    std::memset(p, 0xAB, 10000);
    EXPECT_EQ(korv::test::CallHost(kHostDecommit, P(p)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostDecommit, P(p)), kResultFailed) << "released already";
    EXPECT_EQ(korv::test::CallHost(kHostCommit, 0, 0, P(&p)), kResultNoMemory);
    EXPECT_EQ(korv::test::CallHost(kHostCommit, 16, 0, 0), kResultNullPointer);

    uint32_t page = 0;
    ASSERT_EQ(korv::test::CallHost(kHostPageSize, P(&page)), kResultOk);
    EXPECT_GE(page, 4096u);
    void* pages = nullptr;
    ASSERT_EQ(korv::test::CallHost(kHostPageAlloc, 1, kHostProtRead | kHostProtWrite, P(&pages)), kResultOk);
    static_cast<char*>(pages)[page - 1] = 1;  // rounded up to a page
    EXPECT_EQ(korv::test::CallHost(kHostPageProtect, P(pages), page, kHostProtRead), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostPageProtect, P(pages), 2 * page, kHostProtRead), kResultFailed)
        << "beyond the mapping";
    EXPECT_EQ(korv::test::CallHost(kHostPageFree, P(pages)), kResultOk);

    void* h = nullptr;
    ASSERT_EQ(korv::test::CallHost(kHostHeapAlloc, 8, P(&h)), kResultOk);
    std::memcpy(h, "abcdefg", 8);
    ASSERT_EQ(korv::test::CallHost(kHostHeapRealloc, P(h), 100, P(&h)), kResultOk);
    EXPECT_STREQ(static_cast<char*>(h), "abcdefg");
    EXPECT_EQ(korv::test::CallHost(kHostHeapFree, P(h)), kResultOk);

    int block = 0;
    EXPECT_EQ(korv::test::CallHost(kHostErrorRegister, P(&block), 4), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostErrorRegister, P(&block), 4), kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kHostErrorUnregister, P(&block)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostErrorUnregister, P(&block)), kResultFailed);
}

TEST(HostServices, FilesAndDirectorySearch) {
    korv::test::TempDir dir;
    const std::u16string path = U16(dir.Path("a.bin").string());
    intptr_t file = 0;
    ASSERT_EQ(korv::test::CallHost(kHostFileOpen, P(path.c_str()), kHostAccessReadWrite, kHostCreateAlways, P(&file)),
              kResultOk);
    uint32_t count = 0;
    EXPECT_EQ(korv::test::CallHost(kHostFileWrite, file, P("hello world"), 11, 0, P(&count)), kResultOk);
    EXPECT_EQ(count, 11u);
    char buffer[8] = {};
    EXPECT_EQ(korv::test::CallHost(kHostFileRead, file, P(buffer), 5, 6, P(&count)), kResultOk);
    EXPECT_EQ(std::string(buffer, count), "world");
    int64_t position = 0;
    EXPECT_EQ(korv::test::CallHost(kHostFileSeek, file, intptr_t{-5}, 2, P(&position)), kResultOk);
    EXPECT_EQ(position, 6);
    EXPECT_EQ(korv::test::CallHost(kHostFileSeek, file, intptr_t{-100}, 0, P(&position)), kResultSeekFailed);
    EXPECT_EQ(korv::test::CallHost(kHostFileRead, file, P(buffer), 1, intptr_t{-2}, 0), kResultSeekFailed);
    EXPECT_EQ(korv::test::CallHost(kHostFileTruncate, file, 5), kResultOk);
    uint64_t size = 0;
    EXPECT_EQ(korv::test::CallHost(kHostFileSize, file, P(&size)), kResultOk);
    EXPECT_EQ(size, 5u);
    HostFileInfo info{};
    EXPECT_EQ(korv::test::CallHost(kHostFileInfo, file, P(&info)), kResultOk);
    EXPECT_EQ(info.size, 5u);
    EXPECT_NE(info.write_time, 0u);
    EXPECT_EQ(korv::test::CallHost(kHostFileFlush, file), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostFileClose, file), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostFileClose, file), kResultFailed) << "closed handle";
    EXPECT_EQ(korv::test::CallHost(kHostFileRead, file, P(buffer), 1, intptr_t{-1}, 0), kResultFailed);

    const std::u16string moved = U16(dir.Path("b.bin").string());
    EXPECT_EQ(korv::test::CallHost(kHostFileMove, P(path.c_str()), P(moved.c_str())), kResultOk);
    const std::u16string pattern = U16(dir.Path("*.bin").string());
    intptr_t find = 0;
    HostFindData data{};
    ASSERT_EQ(korv::test::CallHost(kHostFindFirst, P(pattern.c_str()), P(&find), P(&data)), kResultOk);
    EXPECT_EQ(std::u16string(data.name), u"b.bin");
    EXPECT_EQ(data.size, 5u);
    EXPECT_EQ(korv::test::CallHost(kHostFindNext, find, P(&data)), kResultFailed) << "only one";
    EXPECT_EQ(korv::test::CallHost(kHostFindClose, find), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostFileDelete, P(moved.c_str())), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostFindFirst, P(pattern.c_str()), P(&find), P(&data)), kResultFailed);

    char16_t tempPath[512] = {};
    intptr_t temp = 0;
    ASSERT_EQ(korv::test::CallHost(kHostTempFile, P(&temp), P(tempPath), 512), kResultOk);
    EXPECT_TRUE(std::filesystem::exists(std::u16string(tempPath)));
    EXPECT_EQ(korv::test::CallHost(kHostFileClose, temp), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostFileDelete, P(tempPath)), kResultOk);
}

TEST(HostServices, Libraries) {
    const std::u16string path = U16(korv::test::StandinModule());
    intptr_t lib = 0;
    ASSERT_EQ(korv::test::CallHost(kHostLibraryLoad, P(path.c_str()), P(&lib)), kResultOk);
    void* symbol = nullptr;
    EXPECT_EQ(korv::test::CallHost(kHostLibrarySymbol, lib, P("module_init_entry"), P(&symbol)), kResultOk);
    EXPECT_NE(symbol, nullptr);
    EXPECT_EQ(korv::test::CallHost(kHostLibrarySymbol, lib, P("no_such_symbol"), P(&symbol)), kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kHostLibraryFree, lib), kResultOk);
}

uint32_t ThreadProc(void* parameter) {
    *static_cast<int*>(parameter) += 1;
    return 42;
}

TEST(HostServices, Threads) {
    int value = 1;
    intptr_t thread = 0;
    ASSERT_EQ(korv::test::CallHost(kHostThreadStart, P(&ThreadProc), P(&value), P(&thread)), kResultOk);
    uint64_t id = 0, self = 0;
    EXPECT_EQ(korv::test::CallHost(kHostThreadId, thread, P(&id)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostThreadId, 0, P(&self)), kResultOk);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, self);
    uint32_t exitCode = 0;
    EXPECT_EQ(korv::test::CallHost(kHostThreadWait, thread, P(&exitCode)), kResultOk);
    EXPECT_EQ(exitCode, 42u);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(korv::test::CallHost(kHostThreadClose, thread), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostThreadWait, thread, 0), kResultFailed);
}

TEST(HostServices, TextConversionAndCase) {
    char16_t wide[16] = {};
    uint32_t count = 0;
    EXPECT_EQ(korv::test::CallHost(kHostAnsiToWide, P("abc"), intptr_t{-1}, P(wide), 16, P(&count)), kResultOk);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(korv::test::CallHost(kHostAnsiToWide, P("abcdef"), intptr_t{-1}, P(wide), 3, P(&count)), kResultFailed)
        << "no room for the NUL";
    char ansi[16] = {};
    EXPECT_EQ(korv::test::CallHost(kHostWideToAnsi, P(u"xyz"), 2, P(ansi), 16, P(&count)), kResultOk);
    EXPECT_STREQ(ansi, "xy");
    char16_t upper[] = u"MiXeD";
    EXPECT_EQ(korv::test::CallHost(kHostWideUpper, P(upper)), kResultOk);
    EXPECT_EQ(std::u16string(upper), u"MIXED");
    char lower[] = "MiXeD";
    EXPECT_EQ(korv::test::CallHost(kHostAnsiLower, P(lower)), kResultOk);
    EXPECT_STREQ(lower, "mixed");
    int32_t order = 5;
    EXPECT_EQ(korv::test::CallHost(kHostWideCompareI, P(u"Hello"), P(u"hELLO"), P(&order)), kResultOk);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(korv::test::CallHost(kHostAnsiCompareNI, P("abcX"), P("ABCy"), 3, P(&order)), kResultOk);
    EXPECT_EQ(order, 0);
    EXPECT_EQ(korv::test::CallHost(kHostAnsiCompareI, P("abc"), P("abd"), P(&order)), kResultOk);
    EXPECT_LT(order, 0);
    char16_t* made = nullptr;
    ASSERT_EQ(korv::test::CallHost(kHostAnsiToWideAlloc, P("made"), P(&made)), kResultOk);
    EXPECT_EQ(std::u16string(made), u"made");
    EXPECT_EQ(korv::test::CallHost(kHostHeapFree, P(made)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostAnsiToWide, 0, intptr_t{-1}, P(wide), 16, 0), kResultNullPointer);
}

TEST(HostServices, TimeAndTimeTexts) {
    uint64_t now = 0;
    ASSERT_EQ(korv::test::CallHost(kHostTimeNow, P(&now)), kResultOk);
    EXPECT_GT(now, 130000000000000000ull);
    HostSystemTime utc{}, local{};
    // 2024-02-29 23:30:00 UTC, a leap day.
    ASSERT_EQ(korv::test::CallHost(kHostTimeToSystem, 133537230000000000ll, P(&utc)), kResultOk);
    EXPECT_EQ(utc.year, 2024);
    EXPECT_EQ(utc.month, 2);
    EXPECT_EQ(utc.day, 29);
    EXPECT_EQ(utc.hour, 23);
    ASSERT_TRUE(korv::platform::set_process_utc_offset(2));
    EXPECT_EQ(korv::test::CallHost(kHostTimeToLocal, P(&utc), P(&local)), kResultOk);
    korv::platform::set_process_utc_offset(0);
    EXPECT_EQ(local.month, 3);
    EXPECT_EQ(local.day, 1);
    EXPECT_EQ(local.hour, 1);
    EXPECT_EQ(local.minute, 30);
    char16_t date[32] = {}, time[32] = {};
    EXPECT_EQ(korv::test::CallHost(kHostDateText, P(&local), P(date), 32), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostTimeText, P(&local), P(time), 32), kResultOk);
    EXPECT_EQ(std::u16string(date), u"2024-03-01");
    EXPECT_EQ(std::u16string(time), u"01:30:00");
    EXPECT_EQ(korv::test::CallHost(kHostDateText, P(&local), P(date), 5), kResultFailed) << "too small";
    HostSystemTime bad = local;
    bad.month = 13;
    EXPECT_EQ(korv::test::CallHost(kHostTimeText, P(&bad), P(time), 32), kResultFailed);
}

TEST(HostServices, SemaphoresSectionsSlimLocksAndConditions) {
    intptr_t sem = 0;
    ASSERT_EQ(korv::test::CallHost(kHostSemCreate, 1, 2, P(&sem)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSemWait, sem), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSemWaitTimed, sem, 0), kResultFailed) << "count is 0";
    int32_t previous = -1, taken = 5;
    EXPECT_EQ(korv::test::CallHost(kHostSemRelease, sem, 2, P(&previous)), kResultOk);
    EXPECT_EQ(previous, 0);
    EXPECT_EQ(korv::test::CallHost(kHostSemRelease, sem, 1, 0), kResultFailed) << "above the maximum";
    EXPECT_EQ(korv::test::CallHost(kHostSemWaitResult, sem, 0, P(&taken)), kResultOk);
    EXPECT_EQ(taken, 0);
    EXPECT_EQ(korv::test::CallHost(kHostSemDestroy, sem), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSemWait, sem), kResultFailed) << "destroyed";

    intptr_t cs = 0;
    ASSERT_EQ(korv::test::CallHost(kHostCsCreate, P(&cs)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostCsEnter, cs), kResultOk);
    int32_t entered = 0;
    EXPECT_EQ(korv::test::CallHost(kHostCsTryEnter, cs, P(&entered)), kResultOk);
    EXPECT_EQ(entered, 1) << "recursive for its owner";
    std::thread([&] {
        int32_t other = 1;
        korv::test::CallHost(kHostCsTryEnter, cs, P(&other));
        EXPECT_EQ(other, 0);
    }).join();
    EXPECT_EQ(korv::test::CallHost(kHostCsLeave, cs), kResultOk);

    intptr_t cond = 0;
    ASSERT_EQ(korv::test::CallHost(kHostCondCreate, P(&cond)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostCondSleep, cond, cs, 10), kResultFailed) << "time-out";
    bool ready = false;  // guarded by cs
    std::thread waker([&] {
        korv::test::CallHost(kHostCsEnter, cs);
        ready = true;
        korv::test::CallHost(kHostCsLeave, cs);
        korv::test::CallHost(kHostCondWake, cond, 1);
    });
    while (!ready) korv::test::CallHost(kHostCondSleep, cond, cs, 50);
    EXPECT_EQ(korv::test::CallHost(kHostCsLeave, cs), kResultOk);
    waker.join();
    EXPECT_EQ(korv::test::CallHost(kHostCondDestroy, cond), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostCsDestroy, cs), kResultOk);

    intptr_t srw = 0;
    ASSERT_EQ(korv::test::CallHost(kHostSrwCreate, P(&srw)), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwShared, srw), kResultOk);
    int32_t got = 1;
    std::thread([&] { korv::test::CallHost(kHostSrwTryExclusive, srw, P(&got)); }).join();
    EXPECT_EQ(got, 0) << "a reader is inside";
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, srw), kResultOk) << "shared release";
    EXPECT_EQ(korv::test::CallHost(kHostSrwExclusive, srw), kResultOk);
    std::thread([&] { korv::test::CallHost(kHostSrwTryShared, srw, P(&got)); }).join();
    EXPECT_EQ(got, 0) << "the writer owns it";
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, srw), kResultOk) << "exclusive release by the owner";
    EXPECT_EQ(korv::test::CallHost(kHostSrwTryExclusive, srw, P(&got)), kResultOk);
    EXPECT_EQ(got, 1);
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, srw), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwDestroy, srw), kResultOk);
}

// A slim lock looked up again and again by one thread, as a module locks per record: once
// destroyed, its handle is refused, even to the thread that used it last; another lock's
// handle is not taken for it.
TEST(HostServices, ASlimLockHandleUsedOftenIsRefusedOnceDestroyed) {
    intptr_t a = 0, b = 0;
    ASSERT_EQ(korv::test::CallHost(kHostSrwCreate, P(&a)), kResultOk);
    ASSERT_EQ(korv::test::CallHost(kHostSrwCreate, P(&b)), kResultOk);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(korv::test::CallHost(kHostSrwShared, a), kResultOk);
        EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, a), kResultOk);
    }
    EXPECT_EQ(korv::test::CallHost(kHostSrwExclusive, a), kResultOk);
    int32_t got = 1;
    EXPECT_EQ(korv::test::CallHost(kHostSrwTryShared, b, P(&got)), kResultOk);
    EXPECT_EQ(got, 1) << "b is not a";
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, b), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, a), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwDestroy, a), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwShared, a), kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, a), kResultFailed);
    EXPECT_EQ(korv::test::CallHost(kHostSrwShared, b), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwRelease, b), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwDestroy, b), kResultOk);
    EXPECT_EQ(korv::test::CallHost(kHostSrwShared, b), kResultFailed);
}

// The argument counts by code, against the table they are made from.
TEST(HostServices, ArgumentCountsOfEveryCodeRange) {
    const struct {
        intptr_t code;
        std::optional<size_t> count;
    } cases[] = {
        {kHostCommit, 3}, {kHostHeapAlloc, 2}, {kHostTimeToSystem, 2}, {kHostDateText, 3},
        {kHostSrwShared, 1}, {kHostSrwTryExclusive, 2}, {kHostEventWait, 6}, {kHostErrorUnregister, 1},
        {kHostNotServed1, 0}, {0, std::nullopt}, {2999, std::nullopt}, {-1, std::nullopt},
        {3000, kHostForwardArgs}, {3999, kHostForwardArgs}, {4000, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(korv::HostServiceArgCount(c.code), c.count) << c.code;
}

TEST(HostServices, ArgumentBlockFormMatchesThePlainForm) {
    void* p = nullptr;
    const intptr_t block[] = {64, P(&p)};
    ASSERT_EQ(HostServices(kHostHeapAlloc | kCallArgBlock, P(block)), kResultOk);
    EXPECT_NE(p, nullptr);
    const intptr_t release[] = {P(p)};
    EXPECT_EQ(korv::test::CallHost(kHostHeapFree | kCallArgBlock, P(release)), kResultOk);
    EXPECT_EQ(korv::HostServiceArgCount(kHostEventWait), 6u);
    EXPECT_EQ(korv::HostServiceArgCount(3500), kHostForwardArgs);
    EXPECT_FALSE(korv::HostServiceArgCount(4000).has_value());
}

}  // namespace
