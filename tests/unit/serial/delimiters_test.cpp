#include "serial/delimiters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testing/process.h"

namespace {

// The set a load leaves, as "name start end", followed by what it printed.
std::string load(const std::string& path, const std::string& requested, DelimiterSet set = {}) {
    testing::internal::CaptureStdout();
    loadDelimiterSet(path, requested, set);
    return set.name + " " + set.start + set.end + testing::internal::GetCapturedStdout();
}

TEST(Delimiters, MissingFileIsCreatedWithTheDefaults) {
    testsupport::TempDir dir;
    EXPECT_EQ(load(dir.file("syntax_config.txt"), "json"), "json {}");
    EXPECT_EQ(dir.read("syntax_config.txt"), "json { }\ngreater_less_than < >\n");
    EXPECT_EQ(load(dir.file("syntax_config.txt"), "greater_less_than"), "greater_less_than <>");
}

TEST(Delimiters, FirstMatchingRecordWinsAndNamesAreCaseSensitive) {
    const std::pair<std::string, std::string> cases[] = {
        {"JSON ( )\njson [] trailing words\njson < >\n", "json []"},
        // Records are read across line ends: a short line takes its characters from the next.
        {"json\n{\n}\nother a b", "json {}"},
        // A file ending inside the matching record keeps the characters it does not give.
        {"json", "json ()"},
        {"json {", "json {)"},
        // No matching record: spaces, and a warning.
        {"JSON { }\ngreater_less_than < >\n", "   Warning: Could not find delimiters, may cause problems!\n"},
    };
    testsupport::TempDir dir;
    for (const auto& [text, loaded] : cases) {
        dir.write("s.txt", text);
        EXPECT_EQ(load(dir.file("s.txt"), "json", {"old", '(', ')'}), loaded) << text;
    }
}

TEST(Delimiters, FileThatCanNeitherBeReadNorCreatedLeavesTheSet) {
    testsupport::TempDir dir;
    EXPECT_EQ(load(dir.file("no-such-folder/syntax_config.txt"), "json"),
              std::string(" \0\0", 3) + "Warning: No file open");
    // A folder of that name opens, but cannot be read, nor replaced by the defaults.
    ASSERT_EQ(mkdir(dir.file("syntax_config.txt").c_str(), 0755), 0);
    EXPECT_EQ(load(dir.file("syntax_config.txt"), "json"),
              std::string(" \0\0", 3) + "Warning: No file open");
}

}  // namespace
