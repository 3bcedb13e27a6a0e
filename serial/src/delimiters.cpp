#include "serial/delimiters.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "console/console.h"

namespace {

// Writes the two sets every installation starts with. A file that cannot be created is
// reported by the reading attempt that follows.
void writeDefaults(const std::string& path) {
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) return;
    out << "json { }\n";
    out << "greater_less_than < >\n";
}

// Reads records until one names `requested`. A record is a word and two characters that
// skip whitespace before them; the rest of its line is ignored. Fields that find only the
// end of the file keep their values, and the name is compared before the stream's state,
// so a last line without a line break still matches.
bool findRecord(std::istream& in, const std::string& requested, DelimiterSet& set) {
    for (;;) {
        in >> set.name;
        in >> set.start;
        in >> set.end;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        if (set.name == requested) return true;
        if (in.fail()) return false;
    }
}

// Opens the file for reading; false when it cannot be opened or cannot be read (a folder
// of that name opens on Linux, and only its first read fails).
bool openReadable(const std::string& path, std::ifstream& in) {
    in.open(path);
    if (!in.is_open()) return false;
    in.peek();
    if (!in.bad()) {
        in.clear();
        return true;
    }
    in.close();
    return false;
}

}  // namespace

DelimiterFile readDelimiterSet(const std::string& path, const std::string& requested, DelimiterSet& set) {
    std::ifstream in;
    if (!openReadable(path, in)) {
        std::error_code error;
        return std::filesystem::exists(path, error) ? DelimiterFile::unreadable
                                                    : DelimiterFile::fileMissing;
    }
    return findRecord(in, requested, set) ? DelimiterFile::setFound : DelimiterFile::setMissing;
}

void loadDelimiterSet(const std::string& path, const std::string& requested, DelimiterSet& set) {
    {
        std::ifstream probe;
        if (!openReadable(path, probe)) writeDefaults(path);
    }
    std::ifstream in;
    if (!openReadable(path, in)) {
        consolePrintf("Warning: No file open");
        return;
    }
    if (findRecord(in, requested, set)) return;
    set.name.clear();
    set.start = ' ';
    set.end = ' ';
    consolePrintf("Warning: Could not find delimiters, may cause problems!\n");
}
