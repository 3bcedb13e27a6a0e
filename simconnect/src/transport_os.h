// The operating-system seam of the transport: what transport.cpp asks of the backend
// (transport_posix.cpp or transport_win32.cpp). Completions of posted reads and writes
// come back through CClient::OnIoComplete on a backend thread.
#pragma once

#include <cstdint>
#include <string>

#include "transport.h"

namespace transport_os {

bool StartSockets();
void StopSockets();

// Opens the pipe at `path` (the Windows pipe path text); false when it cannot connect.
bool ConnectPipe(const std::string& path, OsHandle& handle);
// Resolves address and port for `family` (2 IPv4, 23 IPv6) and connects to the first
// result only.
bool ConnectTcp(std::uint32_t family, const std::string& address, const std::string& port,
                OsHandle& handle);
// Routes the handle's completions to CClient::OnIoComplete.
bool BindCompletion(OsHandle handle);

// How many buffers one write of this transport type may gather (1 to kMaxIoBuffers).
std::uint32_t MaxWriteBuffers(TransportType transportType);

// Both answer true when the operation was started; its completion follows later. A write
// completes once every byte of all its buffers is on the stream. A read the system refuses
// at once has no completion: `refused` then gets the status its completion would have
// carried (a broken pipe, a reset).
bool PostRead(OsHandle handle, IoRequest& request, std::uint32_t& refused);
bool PostWrite(OsHandle handle, IoRequest& request);

void SetNoDelay(OsHandle handle);
std::uint32_t LastError();
void Shutdown(OsHandle handle);
void CancelIo(OsHandle handle);
// Closes the handle of a connection of `transportType`; operations still outstanding
// complete as cancelled.
void Close(OsHandle handle, TransportType transportType);

// Pipe operations on Windows carry an event each; other backends have none.
void CreatePipeEvents(IoRequest& receive, IoRequest& send);
void ClosePipeEvents(IoRequest& receive, IoRequest& send);

}  // namespace transport_os
