#include "testing/json_lines.h"

#include <fstream>
#include <sstream>

#include "testing/process.h"

namespace testsupport {

const std::vector<Json>& JsonLinesLog::entries() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return entries_;
    in.seekg(static_cast<std::streamoff>(offset_));
    std::ostringstream text;
    text << in.rdbuf();
    const std::string added = text.str();
    std::size_t start = 0;
    for (std::size_t end = added.find('\n'); end != std::string::npos;
         end = added.find('\n', start)) {
        Json entry = Json::parse(added.substr(start, end - start), nullptr, false);
        if (entry.is_object()) entries_.push_back(std::move(entry));
        start = end + 1;
    }
    offset_ += start;
    return entries_;
}

std::optional<Json> JsonLinesLog::waitFor(const JsonMatch& match,
                                          std::chrono::milliseconds timeout, std::size_t from) {
    std::optional<Json> found;
    waitUntil(
        [&] {
            const std::vector<Json>& all = entries();
            for (std::size_t i = from; i < all.size() && !found; ++i) {
                if (match(all[i])) found = all[i];
            }
            return found.has_value();
        },
        timeout);
    return found;
}

std::vector<Json> JsonLinesLog::select(const JsonMatch& match, std::size_t from) {
    std::vector<Json> found;
    const std::vector<Json>& all = entries();
    for (std::size_t i = from; i < all.size(); ++i) {
        if (match(all[i])) found.push_back(all[i]);
    }
    return found;
}

JsonMatch memberIs(const std::string& key, const Json& value) {
    return [=](const Json& object) { return object.contains(key) && object[key] == value; };
}

JsonMatch entryWith(const std::string& key, const std::string& value, const JsonMatch& fields) {
    return [=](const Json& entry) {
        if (entry.value(key, "") != value) return false;
        return !fields || (entry.contains("fields") && fields(entry["fields"]));
    };
}

}  // namespace testsupport
