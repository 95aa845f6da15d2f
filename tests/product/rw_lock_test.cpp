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
