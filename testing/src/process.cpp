#include "testing/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

std::string binaryPath(const std::string& name) { return std::string(ORVENDALE_BIN_DIR) + "/" + name; }

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds step) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        std::this_thread::sleep_for(step);
    }
    return true;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvendale-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out << content;
}

std::string TempDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

WorkFolder::WorkFolder() {
    if (chdir(path().c_str()) != 0 || setenv("HOME", path().c_str(), 1) != 0)
        throw std::runtime_error("cannot work in " + path());
}

WorkFolder::~WorkFolder() {
    // Leave the folder before it is removed.
    if (chdir("/") != 0) std::abort();
}

namespace {

// The child's environment: ours, with the options' variables set or replaced.
std::vector<std::string> childEnvironment(const ProcessOptions& options) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const auto& [key, value] : options.env) replaced |= text.rfind(key + "=", 0) == 0;
        if (!replaced) env.push_back(text);
    }
    for (const auto& [key, value] : options.env) env.push_back(key + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

// The child leads a process group of its own, with the output pipe as its standard output
// and error and /dev/null as its input; a program named without a folder is looked up in
// PATH, as a shell would.
ChildProcess::ChildProcess(ProcessOptions options) {
    std::vector<std::string> env = childEnvironment(options);
    std::vector<char*> argv = pointers(options.args);
    std::vector<char*> envp = pointers(env);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!options.cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int failed = posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (failed != 0) {
        close(out[0]);
        throw std::runtime_error("cannot start " + options.args[0] + ": " + std::strerror(failed));
    }
    reader_ = std::thread([this, fd = out[0]] { readLoop(fd); });
}

ChildProcess::~ChildProcess() {
    // The child leads its own process group, so helpers it started (which may hold the
    // output pipe open) go too.
    if (running()) kill(pid_, SIGKILL);
    kill(-pid_, SIGKILL);
    waitExit(10s);
    if (reader_.joinable()) reader_.join();
}

void ChildProcess::readLoop(int fd) {
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard lock(mutex_);
        output_.append(chunk, static_cast<std::size_t>(n));
        changed_.notify_all();
    }
    close(fd);
    std::lock_guard lock(mutex_);
    outputClosed_ = true;
    changed_.notify_all();
}

std::string ChildProcess::output() const {
    std::lock_guard lock(mutex_);
    return output_;
}

std::optional<std::size_t> ChildProcess::waitForOutput(const std::string& needle,
                                                       std::chrono::milliseconds timeout,
                                                       std::size_t from) const {
    std::unique_lock lock(mutex_);
    std::optional<std::size_t> found;
    changed_.wait_for(lock, timeout, [&] {
        if (output_.size() > from) {
            std::size_t at = output_.find(needle, from);
            if (at != std::string::npos) found = at;
        }
        return found.has_value() || outputClosed_;
    });
    return found;
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds timeout) {
    if (status_) return status_;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            // The last output may still be in the pipe; take it before reporting the exit.
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, 2s, [this] { return outputClosed_; });
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(2ms);
    }
}

bool ChildProcess::running() { return !waitExit(0ms).has_value(); }

void ChildProcess::signal(int sig) const {
    if (!status_) kill(pid_, sig);
}

}  // namespace testsupport
