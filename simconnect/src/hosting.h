// In-process hosting: when a simulator loads this library into its own process, a session
// offers itself to the simulator's main window, and the simulator may attach with four
// functions through which requests are placed straight in its memory and delivered
// messages are given back. A program of its own exports no detection functions, so there
// no host is found and every session uses its transport alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "simconnect/SimConnect.h"

struct MessageNode;

// The functions a hosting simulator hands over when it attaches.
using HostAllocFn = void* (*)(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size);
using HostFreeFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, void* block,
                            void* sameBlock);
using HostCommitFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, std::uint32_t size,
                              void* block);
using HostReleaseFn = void (*)(std::uint32_t hostId, std::uint32_t connectionId, void* block);

// The wParam of both WM_COMMAND posts to the host's window.
constexpr std::uint32_t kHostCommand = 0x2002A;
constexpr std::uint32_t kRegistrationSize = 32;
constexpr std::uint32_t kRegistrationVersion = 1;
constexpr std::uint32_t kAttachSize = 48;
constexpr std::uint32_t kAttachVersion = 2;

// Looks for a hosting simulator before a connection is made; its main window, or null.
HWND DetectHost();

// What a host link needs of the session it serves.
class HostedSession {
public:
    virtual std::uint32_t HostedConnectionId() const = 0;
    // A message the host delivered: it joins the session's received messages.
    virtual void ReceiveFromHost(MessageNode* node) = 0;

protected:
    ~HostedSession() = default;
};

// The in-process hosting of one session whose process has a host's window. The link
// registers the session with the host on the host's open answer; once the host has
// attached, requests are placed in its memory and the messages it delivers are given
// back to it. The host finds the link by its two ids from the moment it is made until it
// is withdrawn or destroyed.
class HostLink {
public:
    HostLink(HostedSession& session, HWND window);
    ~HostLink();
    HostLink(const HostLink&) = delete;
    HostLink& operator=(const HostLink&) = delete;

    // Registers the session with its host when `node` is the host's open answer; runs for
    // every message just before the application sees it.
    void Inspect(const MessageNode& node);
    // Places a request in host memory when attached; false leaves it to the build area.
    bool Reserve(std::uint32_t size, unsigned char** request);
    // Hands every request reserved in host memory to the host, in order.
    void Commit();
    // Gives a request reserved in host memory back; false when it is not one of them.
    bool Abandon(unsigned char* request, std::uint32_t size);
    // Gives the data of a message the host delivered back to it.
    void Release(unsigned char* data);
    // The host no longer finds this link (its session is closing).
    void Withdraw();

    // The host's side, reached through HostAttach and HostDeliver.
    bool Names(std::uint32_t hostConnectionId, std::uint32_t connectionId) const;
    bool Attach(HostAllocFn alloc, HostFreeFn free, HostCommitFn commit, HostReleaseFn release);
    void Deliver(std::uint32_t size, void* message);

private:
    HostedSession& session_;
    const HWND window_;
    // Set once, on the application's thread, and read by the host's lookups on its own.
    std::atomic<std::uint32_t> hostConnectionId_{0};
    bool registrationPosted_ = false;
    unsigned char registration_[kRegistrationSize] = {};
    HostAllocFn alloc_ = nullptr;
    HostFreeFn free_ = nullptr;
    HostCommitFn commit_ = nullptr;
    HostReleaseFn release_ = nullptr;
    // Set last by Attach, after the four functions, which it then publishes.
    std::atomic<bool> attached_{false};
    std::vector<std::pair<void*, std::uint32_t>> blocks_;  // reserved, not yet committed
};

// Called by the host with its 48-byte attach record; 1 when accepted, 0 otherwise.
int HostAttach(const void* record);
// Called by the host for each message it delivers directly to the session.
void HostDeliver(std::uint32_t hostConnectionId, std::uint32_t connectionId, std::uint32_t size,
                 void* message);

// Where the posts to the host's window go on a system without windows: a sink installed
// by the process (tests do). The Windows build posts to the window and has no sink.
class HostCommandSink {
public:
    virtual ~HostCommandSink() = default;
    virtual void PostHostCommand(HWND window, std::intptr_t lParam) = 0;
};
HostCommandSink* SetHostCommandSink(HostCommandSink* sink);

namespace hosting_os {
// The host's window when the main executable exports FlightSimGetMainHwnd and
// FlightSimGetProcessId for this process; the window is told the library's module then.
HWND DetectHostWindow();
// Posts WM_COMMAND with kHostCommand and `lParam` to the host's window.
void PostHostCommand(HWND window, std::intptr_t lParam);
}  // namespace hosting_os
