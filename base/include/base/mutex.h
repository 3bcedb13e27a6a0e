// Mutexes that Clang's thread-safety analysis knows, the scoped holds it understands, and
// a condition variable that waits on them. Fields say which lock guards them
// (GUARDED_BY), functions which lock they run under (REQUIRES), and the build checks both.
#pragma once

#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "base/thread_annotations.h"

class CondVar;

class CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ACQUIRE() {
        mutex_.lock();
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    void unlock() RELEASE() {
        owner_.store(std::thread::id(), std::memory_order_relaxed);
        mutex_.unlock();
    }
    // For code that runs under the lock on a path the analysis cannot follow (a hold
    // taken by a guard object of another class): checks in debug builds that this thread
    // holds it, and tells the analysis so.
    void assertHeld() const ASSERT_CAPABILITY(this) {
        assert(owner_.load(std::memory_order_relaxed) == std::this_thread::get_id());
    }

private:
    friend class CondVar;
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// Many readers or one writer.
class CAPABILITY("mutex") SharedMutex {
public:
    SharedMutex() = default;
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;

    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
    void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }

private:
    std::shared_mutex mutex_;
};

// A Mutex held for the life of the scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

// A SharedMutex held exclusively for the life of the scope.
class SCOPED_CAPABILITY WriterLock {
public:
    explicit WriterLock(SharedMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~WriterLock() RELEASE() { mutex_.unlock(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

private:
    SharedMutex& mutex_;
};

// A SharedMutex held shared for the life of the scope.
class SCOPED_CAPABILITY ReaderLock {
public:
    explicit ReaderLock(SharedMutex& mutex) ACQUIRE_SHARED(mutex) : mutex_(mutex) {
        mutex_.lock_shared();
    }
    ~ReaderLock() RELEASE() { mutex_.unlock_shared(); }
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

private:
    SharedMutex& mutex_;
};

// A condition variable for a Mutex. The caller tests its condition itself, under the
// lock, where the analysis sees the fields it reads:
//
//     MutexLock hold(lock);
//     while (!done && changed.waitUntil(lock, deadline)) {}
class CondVar {
public:
    void notifyAll() { condition_.notify_all(); }

    // Releases the lock while it waits for a notification (or a spurious wake-up) and
    // takes it again; false once the deadline has passed.
    template <typename Clock, typename Duration>
    bool waitUntil(Mutex& mutex, std::chrono::time_point<Clock, Duration> deadline)
        REQUIRES(mutex) {
        std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
        mutex.owner_.store(std::thread::id(), std::memory_order_relaxed);
        const std::cv_status status = condition_.wait_until(lock, deadline);
        mutex.owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        lock.release();
        return status == std::cv_status::no_timeout;
    }

private:
    std::condition_variable condition_;
};
