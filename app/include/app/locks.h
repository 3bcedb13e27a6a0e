// The two process-wide locks. The entry function owns them and hands out raw pointers.
// They wrap the standard mutexes so that Clang's thread-safety analysis knows them, and
// come with the scoped holds the analysis understands.
#pragma once

#include <mutex>
#include <shared_mutex>

#include "base/thread_annotations.h"

// Held by rack threads around every simulator call, because the client session builds
// requests without a lock of its own. Rack threads take it through SimCallGuard
// (sim_call.h), the main thread to close the connection.
class CAPABILITY("mutex") RackMutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }

private:
    std::mutex mutex_;
};

// Taken exclusively by the dispatch callback while it stores simulator state, shared by
// rack threads while they copy it (SimSession::readState). No thread holds it together
// with RackMutex.
class CAPABILITY("mutex") StateLock {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    void lock_shared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
    void unlock_shared() RELEASE_SHARED() { mutex_.unlock_shared(); }

private:
    std::shared_mutex mutex_;
};

// RackMutex held for the life of the scope.
class SCOPED_CAPABILITY RackHold {
public:
    explicit RackHold(RackMutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~RackHold() RELEASE() { mutex_.unlock(); }
    RackHold(const RackHold&) = delete;
    RackHold& operator=(const RackHold&) = delete;

private:
    RackMutex& mutex_;
};

// StateLock held exclusively for the life of the scope.
class SCOPED_CAPABILITY StateWrite {
public:
    explicit StateWrite(StateLock& lock) ACQUIRE(lock) : lock_(lock) { lock_.lock(); }
    ~StateWrite() RELEASE() { lock_.unlock(); }
    StateWrite(const StateWrite&) = delete;
    StateWrite& operator=(const StateWrite&) = delete;

private:
    StateLock& lock_;
};

// StateLock held shared for the life of the scope.
class SCOPED_CAPABILITY StateRead {
public:
    explicit StateRead(StateLock& lock) ACQUIRE_SHARED(lock) : lock_(lock) { lock_.lock_shared(); }
    ~StateRead() RELEASE() { lock_.unlock_shared(); }
    StateRead(const StateRead&) = delete;
    StateRead& operator=(const StateRead&) = delete;

private:
    StateLock& lock_;
};
