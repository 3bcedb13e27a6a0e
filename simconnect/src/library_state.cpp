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
    std::unique_lock<std::mutex> lock(library.idleLock);
    return library.idle.wait_for(lock, limit, [&] { return library.liveClients.load() == 0; });
}

void NoteClientDestroyed() {
    LibraryState& library = Library();
    // The lock makes the decrement and a waiter's check of the count one step each.
    std::lock_guard<std::mutex> guard(library.idleLock);
    if (library.liveClients.fetch_sub(1) == 1) library.idle.notify_all();
}
