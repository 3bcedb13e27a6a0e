#include "profile_reader.h"

#include <fstream>
#include <functional>

namespace {

std::string Trim(const std::string& text) {
    const char* space = " \t\r\n";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Calls `onEntry` with each trimmed, non-comment line of `section`, until it answers
// false. Comment lines start with ';'.
void ForEachEntry(const std::string& file, const std::string& section,
                  const std::function<bool(const std::string&)>& onEntry) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    bool inSection = false;
    bool firstLine = true;
    while (std::getline(in, line)) {
        // A UTF-8 byte-order mark before the first line is not part of the text.
        if (firstLine && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        firstLine = false;
        line = Trim(line);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string name = line.substr(1, close == std::string::npos ? close : close - 1);
            inSection = EqualsIgnoringCase(Trim(name), section);
            continue;
        }
        if (inSection && !onEntry(line)) return;
    }
}

}  // namespace

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              std::size_t bufferSize) {
    std::string value = fallback;
    ForEachEntry(file, section, [&](const std::string& line) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos || !EqualsIgnoringCase(Trim(line.substr(0, equals)), key)) {
            return true;
        }
        value = Unquote(Trim(line.substr(equals + 1)));
        return false;
    });
    if (bufferSize == 0) return {};
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

bool ProfileSectionHasEntries(const std::string& file, const std::string& section) {
    bool found = false;
    ForEachEntry(file, section, [&](const std::string&) {
        found = true;
        return false;
    });
    return found;
}
