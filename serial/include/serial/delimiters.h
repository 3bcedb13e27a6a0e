// The named delimiter sets of "syntax_config.txt": which character opens and which closes
// a rack's message on the serial line.
#pragma once

#include <string>

struct DelimiterSet {
    std::string name;  // empty when no set was selected or the requested one was missing
    char start = '\0';
    char end = '\0';
};

// The file SerialPort reads, relative to the working directory.
inline constexpr const char* kDelimiterFileName = "syntax_config.txt";

enum class DelimiterFile { setFound, fileMissing, unreadable, setMissing };

// Reads the set `requested` from the file at `path` into `set`, creating nothing and
// printing nothing: what a configuration check needs to know.
DelimiterFile readDelimiterSet(const std::string& path, const std::string& requested, DelimiterSet& set);

// Selects the set `requested` from the file at `path` into `set`, creating the file with
// the default sets when it cannot be read. Prints a warning when the file can be neither
// read nor created (the set is left as it was) or holds no such set (the name becomes
// empty and both delimiters a space).
void loadDelimiterSet(const std::string& path, const std::string& requested, DelimiterSet& set);
