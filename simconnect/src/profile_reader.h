// A small reader of INI ("private profile") files that behaves like the Windows
// functions: section and key names compare without regard to case, values are trimmed
// and lose one pair of enclosing quotes, and a missing file simply has no values.
#pragma once

#include <cstddef>
#include <string>

// The value of `key` in `section`, cut to `bufferSize - 1` characters as the Windows
// call would cut it; `fallback` when the file, section or key is missing.
std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& fallback,
                              std::size_t bufferSize);

// True when `section` exists in `file` and holds at least one entry.
bool ProfileSectionHasEntries(const std::string& file, const std::string& section);

bool EqualsIgnoringCase(const std::string& a, const std::string& b);
