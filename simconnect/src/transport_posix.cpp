// The POSIX backend of the transport. A pipe path names a Linux abstract Unix-domain
// socket whose name is the path text itself. Each connection has one I/O thread that
// waits in poll on the socket and a wake-up descriptor, carries out the posted read and
// the posted write (a write completes only once every byte is on the stream), and then
// runs the completion routine, as the Windows thread pool does there.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "base/mutex.h"
#include "transport_os.h"

namespace {

using Clock = std::chrono::steady_clock;
// A full listen backlog is the pipe's busy case; it is retried for this long.
constexpr std::chrono::milliseconds kPipeBusyWait{5000};
constexpr std::chrono::milliseconds kPipeBusyRetry{10};
// A simulator PC behind a firewall that drops the attempt answers nothing; the attempt
// gives up after this long instead of the system's minutes.
constexpr int kConnectLimitMs = 5000;
// A simulator PC that went away without closing is noticed by keep-alive probes: after
// 10 s without a word, one every 5 s, and the third unanswered ends the connection. Data
// of our own left unacknowledged ends it after as long, since probes are only sent on a
// connection with nothing in flight, and the racks' requests rarely leave it so.
constexpr int kKeepAliveIdleSeconds = 10;
constexpr int kKeepAliveIntervalSeconds = 5;
constexpr int kKeepAliveProbes = 3;
constexpr unsigned kUnacknowledgedLimitMs = 25000;

// One connection: the socket, its wake-up descriptor and the posted operations. The I/O
// thread owns it once started and frees it when it ends; the lock is held while the
// thread reads or writes, so that after Close returns no buffer is touched again.
struct Channel {
    int fd = -1;
    int wake = -1;
    bool pipe = false;  // the local socket that stands for a named pipe
    Mutex lock;
    IoRequest* read GUARDED_BY(lock) = nullptr;
    IoRequest* write GUARDED_BY(lock) = nullptr;
    std::uint32_t written GUARDED_BY(lock) = 0;
    // Input may wait: poll said so, or a write went out since.
    bool readReady GUARDED_BY(lock) = false;
    bool writeBlocked GUARDED_BY(lock) = false;  // the last write attempt would have blocked
    bool polling GUARDED_BY(lock) = false;
    bool woken GUARDED_BY(lock) = false;
    bool closing GUARDED_BY(lock) = false;
    bool started GUARDED_BY(lock) = false;
};

Channel* FromHandle(OsHandle handle) {
    return handle == kInvalidOsHandle ? nullptr : reinterpret_cast<Channel*>(handle);
}

// A pipe server that closes with requests unread resets the local socket; on Windows that
// is a broken pipe, and so it is here.
std::uint32_t StatusForErrno(int error, bool pipe) {
    if (error == EPIPE) return kStatusPipeBroken;
    if (error == ECONNRESET) return pipe ? kStatusPipeBroken : kStatusRemoteReset;
    return kStatusUnsuccessful;
}

void Complete(std::uint32_t status, std::uint32_t bytes, IoRequest* request) {
    try {
        CClient::OnIoComplete(status, bytes, request);
    } catch (...) {
        // The completion routine itself never throws; this keeps the thread alive
        // should a notification sink do so.
    }
}

// Runs a completion without the lock, as completions may post the next operation.
void CompleteUnlocked(Channel& channel, std::uint32_t status, std::uint32_t bytes,
                      IoRequest* request) REQUIRES(channel.lock) {
    channel.lock.unlock();
    Complete(status, bytes, request);
    channel.lock.lock();
}

void WakeIfPolling(Channel& channel) REQUIRES(channel.lock) {
    if (!channel.polling || channel.woken) return;
    channel.woken = true;
    const std::uint64_t one = 1;
    // A full counter still wakes the thread, so the result does not matter.
    [[maybe_unused]] const ssize_t ignored = ::write(channel.wake, &one, sizeof one);
}

// Reads once into the posted read. With `dataOnly`, the end of the stream and an error
// are left alone: another failure is about to say why the connection ended.
void DoRead(Channel& channel, bool dataOnly = false) REQUIRES(channel.lock) {
    IoRequest* request = channel.read;
    const IoBuffer& buffer = request->buffers[0];
    const ssize_t got = ::recv(channel.fd, buffer.data, buffer.length, MSG_DONTWAIT);
    if (got < 0 && errno == EINTR) return;
    if ((got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) || (dataOnly && got <= 0)) {
        channel.readReady = false;
        return;
    }
    channel.read = nullptr;
    // A read that filled its buffer suggests more bytes are waiting; try again at once.
    channel.readReady = got > 0 && static_cast<std::uint32_t>(got) == buffer.length;
    if (got < 0) {
        CompleteUnlocked(channel, StatusForErrno(errno, channel.pipe), 0, request);
    } else if (got == 0 && channel.pipe) {
        // A pipe whose server went away is broken, as Windows reports it; a TCP peer's
        // orderly close stays a read of 0 bytes.
        CompleteUnlocked(channel, kStatusPipeBroken, 0, request);
    } else {
        CompleteUnlocked(channel, kStatusSuccess, static_cast<std::uint32_t>(got), request);
    }
}

// Reads, and so delivers, whatever the peer sent before a write failed: its last
// messages (a quit, say) come before the write's failure ends the connection.
void ReadWhatArrived(Channel& channel) REQUIRES(channel.lock) {
    channel.readReady = true;
    while (channel.read != nullptr && channel.readReady && !channel.closing) DoRead(channel, true);
}

// The part of a write not yet on the stream, as an I/O vector; its number of entries.
int UnwrittenPart(const IoRequest& request, std::uint32_t written, iovec (&parts)[kMaxIoBuffers]) {
    int count = 0;
    for (std::uint32_t i = 0; i < request.bufferCount; ++i) {
        const IoBuffer& buffer = request.buffers[i];
        if (written >= buffer.length) {
            written -= buffer.length;
            continue;
        }
        parts[count++] = {buffer.data + written, buffer.length - written};
        written = 0;
    }
    return count;
}

// Writes as much of the posted write as the socket takes; true when it finished, one way
// or the other.
bool TryWrite(Channel& channel) REQUIRES(channel.lock) {
    IoRequest* request = channel.write;
    iovec parts[kMaxIoBuffers];
    msghdr message{};
    message.msg_iov = parts;
    while ((message.msg_iovlen = UnwrittenPart(*request, channel.written, parts)) > 0) {
        const ssize_t sent = ::sendmsg(channel.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            channel.written += static_cast<std::uint32_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            channel.writeBlocked = true;
            return false;
        }
        const std::uint32_t status = StatusForErrno(errno, channel.pipe);
        channel.write = nullptr;
        ReadWhatArrived(channel);
        CompleteUnlocked(channel, status, 0, request);
        return true;
    }
    channel.write = nullptr;
    // Writes that follow one another never poll, so input is looked for after each.
    channel.readReady = true;
    CompleteUnlocked(channel, kStatusSuccess, channel.written, request);
    return true;
}

// Blocks until the socket can take the posted operations or the thread is woken. Only
// what is posted is asked for, so an idle connection sleeps without wake-ups.
void WaitForEvents(Channel& channel) REQUIRES(channel.lock) {
    short events = 0;
    if (channel.read != nullptr) events |= POLLIN;
    if (channel.write != nullptr && channel.writeBlocked) events |= POLLOUT;
    pollfd fds[2] = {{channel.wake, POLLIN, 0}, {events != 0 ? channel.fd : -1, events, 0}};
    channel.polling = true;
    channel.lock.unlock();
    const int ready = ::poll(fds, 2, -1);
    channel.lock.lock();
    channel.polling = false;
    if (ready <= 0) return;
    if (fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(channel.wake, &count, sizeof count);
        channel.woken = false;
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) channel.readReady = true;
    if (fds[1].revents & (POLLOUT | POLLHUP | POLLERR)) channel.writeBlocked = false;
}

void RunChannel(Channel* channel) {
    channel->lock.lock();
    while (!channel->closing) {
        // Input first: a stream of writes must not hold back what the peer sends.
        if (channel->read != nullptr && channel->readReady) {
            DoRead(*channel);
            continue;
        }
        if (channel->write != nullptr && !channel->writeBlocked && TryWrite(*channel)) continue;
        WaitForEvents(*channel);
    }
    IoRequest* read = channel->read;
    IoRequest* write = channel->write;
    channel->read = nullptr;
    channel->write = nullptr;
    channel->lock.unlock();
    // Operations still outstanding complete as cancelled; the last of them may destroy
    // the CClient, which is not touched afterwards.
    if (read != nullptr) Complete(kStatusCancelled, 0, read);
    if (write != nullptr) Complete(kStatusCancelled, 0, write);
    ::close(channel->fd);
    ::close(channel->wake);
    delete channel;
}

bool MakeChannel(int fd, bool pipe, OsHandle& handle) {
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    auto* channel = wake < 0 ? nullptr : new (std::nothrow) Channel;
    if (channel == nullptr) {
        if (wake >= 0) ::close(wake);
        ::close(fd);
        return false;
    }
    channel->fd = fd;
    channel->wake = wake;
    channel->pipe = pipe;
    handle = reinterpret_cast<OsHandle>(channel);
    return true;
}

// One connect attempt to an abstract socket; EAGAIN in `error` is the busy case.
int TryConnectAbstract(const sockaddr_un& address, socklen_t length, int& error) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) return fd;
    error = errno;
    ::close(fd);
    return -1;
}

// Connects the non-blocking socket within the limit.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length) {
    if (::connect(fd, address, length) == 0) return true;
    if (errno != EINPROGRESS) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectLimitMs);
    pollfd entry{fd, POLLOUT, 0};
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready > 0) break;
        if (ready == 0 || errno != EINTR) return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

void KeepAlive(int fd) {
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds,
                 sizeof kKeepAliveIdleSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds,
                 sizeof kKeepAliveIntervalSeconds);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUnacknowledgedLimitMs,
                 sizeof kUnacknowledgedLimitMs);
}

int ToSocketFamily(std::uint32_t family) {
    if (family == 2) return AF_INET;
    if (family == 23) return AF_INET6;
    return AF_UNSPEC;
}

}  // namespace

namespace transport_os {

bool StartSockets() {
    return true;
}

void StopSockets() {}

bool ConnectPipe(const std::string& path, OsHandle& handle) {
    // Only this machine's pipes exist here.
    if (path.rfind("\\\\.\\", 0) != 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() > sizeof address.sun_path - 1) return false;
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    const auto deadline = Clock::now() + kPipeBusyWait;
    for (;;) {
        int error = 0;
        const int fd = TryConnectAbstract(address, length, error);
        if (fd >= 0) return MakeChannel(fd, true, handle);
        if (error != EAGAIN || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPipeBusyRetry);
    }
}

bool ConnectTcp(std::uint32_t family, const std::string& address, const std::string& port,
                OsHandle& handle) {
    addrinfo hints{};
    hints.ai_family = ToSocketFamily(family);
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* results = nullptr;
    // An empty address means this machine, as it does on Windows.
    const char* node = address.empty() ? nullptr : address.c_str();
    if (::getaddrinfo(node, port.c_str(), &hints, &results) != 0 || results == nullptr) {
        return false;
    }
    const addrinfo& first = *results;
    const int fd = ::socket(first.ai_family, first.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            first.ai_protocol);
    const bool connected = fd >= 0 && ConnectWithin(fd, first.ai_addr, first.ai_addrlen);
    ::freeaddrinfo(results);
    if (!connected) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    KeepAlive(fd);
    return MakeChannel(fd, false, handle);
}

bool BindCompletion(OsHandle handle) {
    Channel* channel = FromHandle(handle);
    if (channel == nullptr) return false;
    MutexLock hold(channel->lock);
    try {
        std::thread(RunChannel, channel).detach();
    } catch (...) {
        return false;
    }
    channel->started = true;
    return true;
}

std::uint32_t MaxWriteBuffers(TransportType) {
    return kMaxIoBuffers;
}

// Only a channel that is closing refuses an operation; it is cancelled.
bool PostRead(OsHandle handle, IoRequest& request, std::uint32_t& refused) {
    refused = kStatusCancelled;
    Channel* channel = FromHandle(handle);
    if (channel == nullptr) return false;
    MutexLock hold(channel->lock);
    if (channel->closing || channel->read != nullptr) return false;
    channel->read = &request;
    WakeIfPolling(*channel);
    return true;
}

bool PostWrite(OsHandle handle, IoRequest& request) {
    Channel* channel = FromHandle(handle);
    if (channel == nullptr) return false;
    MutexLock hold(channel->lock);
    if (channel->closing || channel->write != nullptr) return false;
    channel->write = &request;
    channel->written = 0;
    WakeIfPolling(*channel);
    return true;
}

void SetNoDelay(OsHandle handle) {
    if (Channel* channel = FromHandle(handle)) {
        const int on = 1;
        ::setsockopt(channel->fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
}

std::uint32_t LastError() {
    return static_cast<std::uint32_t>(errno);
}

void Shutdown(OsHandle handle) {
    if (Channel* channel = FromHandle(handle)) ::shutdown(channel->fd, SHUT_RDWR);
}

// Closing cancels through Close; there is nothing to cancel separately.
void CancelIo(OsHandle) {}

void Close(OsHandle handle, TransportType) {
    Channel* channel = FromHandle(handle);
    if (channel == nullptr) return;
    channel->lock.lock();
    if (!channel->started) {
        channel->lock.unlock();
        ::close(channel->fd);
        ::close(channel->wake);
        delete channel;
        return;
    }
    // The thread finishes the outstanding operations as cancelled and frees the channel.
    channel->closing = true;
    WakeIfPolling(*channel);
    channel->lock.unlock();
}

void CreatePipeEvents(IoRequest&, IoRequest&) {}

void ClosePipeEvents(IoRequest&, IoRequest&) {}

}  // namespace transport_os
