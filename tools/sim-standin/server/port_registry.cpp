#include "sim-standin/server/port_registry.h"

#include "sim-standin/model/sim_units.h"

namespace standin {
namespace {

using Lines = std::vector<std::string>;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

Lines splitLines(std::string_view text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const auto stop = end == std::string_view::npos ? text.size() : end;
        lines.emplace_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

std::string joinLines(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

bool isSection(std::string_view line) {
    const std::string_view t = trimmed(line);
    return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

bool isSectionNamed(std::string_view line, std::string_view name) {
    const std::string_view t = trimmed(line);
    return isSection(t) && sameName(trimmed(t.substr(1, t.size() - 2)), name);
}

// The key of a "key=value" line, or empty text for any other line.
std::string_view keyOf(std::string_view line) {
    if (isSection(line)) return {};
    const auto equals = line.find('=');
    return equals == std::string_view::npos ? std::string_view{} : trimmed(line.substr(0, equals));
}

std::string_view valueOf(std::string_view line) {
    return trimmed(line.substr(line.find('=') + 1));
}

// The lines [first, last) that belong to the section, header excluded; first is 0 when
// the section is missing.
std::pair<std::size_t, std::size_t> sectionRange(const Lines& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!isSectionNamed(lines[i], section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !isSection(lines[end])) ++end;
        return {i + 1, end};
    }
    return {0, 0};
}

}  // namespace

bool PortRegistry::publish(std::optional<std::uint16_t> ipv4, std::optional<std::uint16_t> ipv6,
                           std::string& error) {
    IniValues values;
    if (ipv4) values.emplace_back(kPortIPv4, std::to_string(*ipv4));
    if (ipv6) values.emplace_back(kPortIPv6, std::to_string(*ipv6));
    return values.empty() || store(values, error);
}

std::string setIniValues(std::string_view text, std::string_view section, const IniValues& values) {
    Lines lines = splitLines(text);
    auto [first, last] = sectionRange(lines, section);
    if (first == 0) {
        if (!lines.empty() && !trimmed(lines.back()).empty()) lines.emplace_back();
        std::string header = "[";
        header.append(section).append("]");
        lines.push_back(std::move(header));
        first = last = lines.size();
    }
    for (const auto& [key, value] : values) {
        const std::string line = key + "=" + value;
        bool replaced = false;
        for (std::size_t i = first; i < last && !replaced; ++i) {
            if (!sameName(keyOf(lines[i]), key)) continue;
            lines[i] = line;
            replaced = true;
        }
        if (replaced) continue;
        // New keys follow the section's last non-blank line.
        std::size_t at = last;
        while (at > first && trimmed(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), line);
        ++last;
    }
    return joinLines(lines);
}

std::string removeIniValues(std::string_view text, std::string_view section,
                            const IniValues& values) {
    Lines lines = splitLines(text);
    auto [first, last] = sectionRange(lines, section);
    if (first == 0) return std::string(text);
    for (std::size_t i = last; i-- > first;) {
        for (const auto& [key, value] : values) {
            if (!sameName(keyOf(lines[i]), key) || valueOf(lines[i]) != value) continue;
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
            --last;
            break;
        }
    }
    bool empty = true;
    for (std::size_t i = first; i < last; ++i) empty = empty && trimmed(lines[i]).empty();
    if (empty)
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(first - 1),
                    lines.begin() + static_cast<std::ptrdiff_t>(last));
    while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
    return joinLines(lines);
}

}  // namespace standin
