// The service manager's status line while the racks are served: which racks on which
// ports, and what keeps any of them from being served (a board gone, a rack stopped). The
// racks' threads tell it their changes; it sends the line whenever it changes.
#pragma once

#include <map>
#include <mutex>
#include <string>

class RackStatusLine {
public:
    // A rack's state as its thread tells it; an empty problem when it is served. Safe from
    // any thread; before ready() the state is only kept.
    void report(const std::string& rack, const std::string& problem);
    // The racks are started (rack name to port): the service is ready, and says how.
    void ready(const std::map<std::string, std::string>& racks);

private:
    std::string text() const;

    std::mutex lock_;
    std::map<std::string, std::string> racks_;
    std::map<std::string, std::string> problems_;
    bool ready_ = false;
};
