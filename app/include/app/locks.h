// The two process-wide locks. The entry function owns them and hands out raw pointers.
#pragma once

#include "base/mutex.h"

// Held by rack threads around every simulator call, because the client session builds
// requests without a lock of its own. Rack threads take it through SimCallGuard
// (sim_call.h), the main thread to close the connection.
using RackMutex = Mutex;
// RackMutex held for the life of the scope.
using RackHold = MutexLock;

// Taken exclusively by the dispatch callback while it stores simulator state, shared by
// rack threads while they copy it (SimSession::readState). No thread holds it together
// with RackMutex.
using StateLock = SharedMutex;
// StateLock held exclusively, or shared, for the life of the scope.
using StateWrite = WriterLock;
using StateRead = ReaderLock;
