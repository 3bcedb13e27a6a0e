#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "rack-emulator/control_input.h"
#include "rack-emulator/system_failure.h"

namespace rackemu {

namespace {

void makePipe(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0) {
        if (!S_ISFIFO(info.st_mode))
            throw std::runtime_error(path + " exists and is not a named pipe");
        return;
    }
    if (mkfifo(path.c_str(), 0600) != 0) failWithErrno("cannot create the named pipe " + path);
}

}  // namespace

std::unique_ptr<ControlInput> ControlInput::open(const std::string& path) {
    std::unique_ptr<ControlInput> input(new ControlInput());
    if (path == "-") {
        input->fd_ = STDIN_FILENO;
        return input;
    }
    makePipe(path);
    input->pipePath_ = path;
    input->fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (input->fd_ < 0) failWithErrno("cannot open " + path);
    input->writer_ = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (input->writer_ < 0) failWithErrno("cannot open " + path);
    return input;
}

ControlInput::~ControlInput() {
    if (!pipePath_.empty()) {
        unlink(pipePath_.c_str());
        if (fd_ >= 0) close(fd_);
        if (writer_ >= 0) close(writer_);
    }
}

std::vector<std::string> ControlInput::readLines() {
    char chunk[4096];
    for (;;) {
        const ssize_t count = read(fd_, chunk, sizeof chunk);
        if (count > 0) return lines_.feed(std::string_view(chunk, static_cast<std::size_t>(count)));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return {};
        // Standard input ended (the pipe never ends, it has a writer of its own).
        fd_ = -1;
        return lines_.finish();
    }
}

}  // namespace rackemu
