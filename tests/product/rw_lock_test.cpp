// The module lock: shared holders exclude a writer, the writer excludes
// everyone, readers are preferred, and only the owner may unlock.
#include "product/rw_lock.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Long enough for a blocked thread to have run into the lock.
constexpr auto kSettle = 50ms;

TEST(RWLock, ReadersInsideBlockAWriterUntilTheLastLeaves) {
    TavOsApi::RWLock lock;
    lock.lock_shared();
    lock.lock_shared();
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        lock.lock();
        writerIn = true;
        lock.unlock();
    });
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(writerIn);
    lock.unlock_shared();
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(writerIn) << "one reader is still inside";
    lock.unlock_shared();
    writer.join();
    EXPECT_TRUE(writerIn);
}

TEST(RWLock, NewReadersPassAWaitingWriter) {
    TavOsApi::RWLock lock;
    lock.lock_shared();
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        lock.lock();
        writerIn = true;
        lock.unlock();
    });
    std::this_thread::sleep_for(kSettle);
    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.lock_shared();
        readerIn = true;
        lock.unlock_shared();
    });
    reader.join();  // would hang if a waiting writer held readers back
    EXPECT_TRUE(readerIn);
    EXPECT_FALSE(writerIn);
    lock.unlock_shared();
    writer.join();
    EXPECT_TRUE(writerIn);
}

TEST(RWLock, AnOwningWriterBlocksReadersUntilItUnlocks) {
    TavOsApi::RWLock lock;
    lock.lock();
    std::atomic<bool> readerIn{false};
    std::thread reader([&] {
        lock.lock_shared();
        readerIn = true;
        lock.unlock_shared();
    });
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(readerIn);
    lock.unlock();
    reader.join();
    EXPECT_TRUE(readerIn);
}

TEST(RWLock, UnlockByANonOwnerThrows) {
    TavOsApi::RWLock lock;
    EXPECT_THROW(lock.unlock(), std::runtime_error) << "nobody owns it";
    lock.lock();
    std::thread other([&] { EXPECT_THROW(lock.unlock(), std::runtime_error); });
    other.join();
    EXPECT_NO_THROW(lock.unlock());
    EXPECT_THROW(lock.unlock(), std::runtime_error) << "released already";
}

TEST(RWLock, WritersTakeTurns) {
    TavOsApi::RWLock lock;
    int counter = 0;  // guarded by lock
    auto work = [&] {
        for (int i = 0; i < 1000; ++i) {
            lock.lock();
            ++counter;
            lock.unlock();
            lock.lock_shared();
            lock.unlock_shared();
        }
    };
    std::thread a(work), b(work), c(work);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(counter, 3000);
}

}  // namespace

// Runs of yielding readers that overlap one another (as decoding lanes' blocks do) would keep
// the count of readers inside above zero for good; a waiting writer must still get in, and
// the runs go on after it.
TEST(RWLock, OverlappingYieldingRunsLetAWaitingWriterIn) {
    TavOsApi::RWLock lock;
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0};
    auto run = [&] {
        while (!stop) {
            lock.lock_shared_yielding();
            ++runs;
            std::this_thread::sleep_for(1ms);  // a block's work
            lock.unlock_shared();
        }
    };
    std::thread a(run), b(run);
    while (runs < 10) std::this_thread::sleep_for(1ms);
    std::atomic<bool> writerIn{false};
    std::thread writer([&] {
        lock.lock();
        writerIn = true;
        lock.unlock();
    });
    for (int i = 0; i < 500 && !writerIn; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(writerIn) << "the writer waited 5 s behind the runs";
    const int afterWriter = runs;
    while (runs < afterWriter + 10 && writerIn) std::this_thread::sleep_for(1ms);
    stop = true;
    a.join();
    b.join();
    writer.join();
    EXPECT_GE(runs.load(), afterWriter + 10) << "the runs went on after the writer";
}

// A plain reader still passes a waiting writer while a yielding one waits for it, and the
// writer's unlock wakes the yielding reader.
TEST(RWLock, AYieldingReaderWaitsForAWaitingWriterAPlainOneDoesNot) {
    TavOsApi::RWLock lock;
    lock.lock_shared();
    std::atomic<bool> writerIn{false}, yieldingIn{false};
    std::thread writer([&] {
        lock.lock();
        writerIn = true;
        lock.unlock();
    });
    std::this_thread::sleep_for(kSettle);
    std::thread yielding([&] {
        lock.lock_shared_yielding();
        yieldingIn = true;
        lock.unlock_shared();
    });
    std::thread([&] {
        lock.lock_shared();
        lock.unlock_shared();
    }).join();
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(yieldingIn) << "a writer waits";
    lock.unlock_shared();
    writer.join();
    yielding.join();
    EXPECT_TRUE(writerIn);
    EXPECT_TRUE(yieldingIn);
}
