// In-process hosting: when a simulator loads this library into its own process, a session
// offers itself to the simulator's main window, and the simulator may attach with four
// functions through which requests are placed straight in its memory and delivered
// messages are given back. A program of its own exports no detection functions, so there
// no host is found and every session uses its transport alone.
#pragma once

#include <cstdint>

#include "simconnect/SimConnect.h"

class ClientClient;
struct MessageNode;

// The wParam of both WM_COMMAND posts to the host's window.
constexpr std::uint32_t kHostCommand = 0x2002A;
constexpr std::uint32_t kRegistrationSize = 32;
constexpr std::uint32_t kRegistrationVersion = 1;
constexpr std::uint32_t kAttachSize = 48;
constexpr std::uint32_t kAttachVersion = 2;

// Looks for a hosting simulator before a connection is made; its main window, or null.
HWND DetectHost();
// After the connection was made: the session remembers the host's window.
void NoteHostWindow(ClientClient* session, HWND window);
// Registers the session with its host when `node` is the host's open answer; runs for
// every message just before the application sees it.
void InspectForHost(ClientClient* session, const MessageNode& node);

// Places a request in host memory when attached; false leaves it to the build area.
bool ReserveFromHost(ClientClient* session, std::uint32_t size, unsigned char** request);
// Hands every request reserved in host memory to the host, in order.
void CommitHostBlocks(ClientClient* session);
// Gives a request reserved in host memory back; false when it is not one of them.
bool AbandonHostBlock(ClientClient* session, unsigned char* request, std::uint32_t size);
// Gives a dispatched message back to the host that delivered it, or frees it; the node
// goes too.
void FinishDispatchedNode(ClientClient* session, MessageNode* node);

// The session that a host's two ids name, searched from the head of the session list.
ClientClient* FindHostedSession(std::uint32_t hostConnectionId, std::uint32_t connectionId);
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
