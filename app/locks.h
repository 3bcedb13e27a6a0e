// The two process-wide locks. The entry function owns them and hands out raw pointers.
#pragma once

#include <mutex>
#include <shared_mutex>

// Held by rack threads around every simulator call, because the client session builds
// requests without a lock of its own (see sim_call.h for the guard they use).
using RackMutex = std::mutex;
// Taken exclusively by the dispatch callback while it stores simulator state, shared by
// rack threads while they read it. No thread holds it together with RackMutex.
using StateLock = std::shared_mutex;
