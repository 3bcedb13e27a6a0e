// Helpers of the Windows test programs: names of their own, bounded waits, and a current
// folder of their own with a SimConnect.cfg in it.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace wintest {

// A name unique to this process: "orvendale-<what>-<pid>".
inline std::string ownName(const std::string& what) {
    return "orvendale-" + what + "-" + std::to_string(GetCurrentProcessId());
}

// Polls `done` every millisecond until it is true or `limit` has passed.
inline bool waitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

// A folder of the test's own as the current folder while it lives, with `config` as its
// SimConnect.cfg.
class OwnFolder {
public:
    explicit OwnFolder(const std::string& config) {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + ownName("cfg");
        CreateDirectoryA(folder_.c_str(), nullptr);
        file_ = folder_ + "\\SimConnect.cfg";
        const HANDLE out = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(out, config.data(), static_cast<DWORD>(config.size()), &written, nullptr);
        CloseHandle(out);
        GetCurrentDirectoryA(MAX_PATH, previous_);
        SetCurrentDirectoryA(folder_.c_str());
    }
    ~OwnFolder() {
        SetCurrentDirectoryA(previous_);
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    OwnFolder(const OwnFolder&) = delete;
    OwnFolder& operator=(const OwnFolder&) = delete;

private:
    std::string folder_;
    std::string file_;
    char previous_[MAX_PATH] = {};
};

}  // namespace wintest
