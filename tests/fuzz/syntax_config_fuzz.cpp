// syntax_config.txt as a rack's port reads it: the set the service asks for, and another.
#include <cstdlib>

#include "serial/delimiters.h"
#include "testing/process.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const testsupport::TempDir* const folder = new testsupport::TempDir;
    folder->write(kDelimiterFileName, std::string(reinterpret_cast<const char*>(data), size));
    for (const std::string name : {"json", "greater_less_than"}) {
        DelimiterSet set;
        loadDelimiterSet(folder->file(kDelimiterFileName), name, set);
        // The set asked for, or none: the name empty and both delimiters a space.
        if (set.name != name && !(set.name.empty() && set.start == ' ' && set.end == ' ')) std::abort();
    }
    return 0;
}
