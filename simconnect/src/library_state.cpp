#include "library_state.h"

LibraryState& Library() {
    // Never destroyed: an I/O thread may still be finishing while the process exits.
    static LibraryState* state = new LibraryState;
    return *state;
}

std::uint32_t NextConnectionId() {
    std::atomic<std::uint32_t>& counter = Library().connectionIdCounter;
    std::uint32_t current = counter.load();
    std::uint32_t next = 0;
    do {
        next = current + 1 == 0 ? 1 : current + 1;
    } while (!counter.compare_exchange_weak(current, next));
    return next;
}

bool WaitForNoLiveClients(std::chrono::milliseconds limit) {
    LibraryState& library = Library();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    MutexLock hold(library.idleLock);
    while (library.liveClients.load() != 0 && library.idle.waitUntil(library.idleLock, deadline)) {
    }
    return library.liveClients.load() == 0;
}

void NoteClientDestroyed() {
    LibraryState& library = Library();
    // The lock makes the decrement and a waiter's check of the count one step each.
    MutexLock hold(library.idleLock);
    if (library.liveClients.fetch_sub(1) == 1) library.idle.notifyAll();
}
