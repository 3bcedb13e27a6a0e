#include "serial/delimiters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/process.h"

namespace {

// The set a load leaves, as "name start end", followed by what it printed.
std::string load(const std::string& path, const std::string& requested, DelimiterSet set = {}) {
    testing::internal::CaptureStdout();
    loadDelimiterSet(path, requested, set);
    return set.name + " " + set.start + set.end + testing::internal::GetCapturedStdout();
}

const std::string kDefaults = "json { }\ngreater_less_than < >\n";

TEST(Delimiters, MissingFileIsCreatedWithTheDefaults) {
    testsupport::TempDir dir;
    EXPECT_EQ(load(dir.file("syntax_config.txt"), "json"), "json {}");
    EXPECT_EQ(dir.read("syntax_config.txt"), kDefaults);
    EXPECT_EQ(load(dir.file("syntax_config.txt"), "greater_less_than"), "greater_less_than <>");
}

TEST(Delimiters, FirstMatchingLineWinsAndNamesAreCaseSensitive) {
    testsupport::TempDir dir;
    dir.write("s.txt", "JSON ( )\njson [] trailing words\njson < >\n");
    EXPECT_EQ(load(dir.file("s.txt"), "json"), "json []");
    // Records are read across line ends: a short line takes its characters from the next.
    dir.write("split.txt", "json\n{\n}\nother a b");
    EXPECT_EQ(load(dir.file("split.txt"), "json"), "json {}");
}

TEST(Delimiters, MissingSetFallsBackToSpacesWithAWarning) {
    testsupport::TempDir dir;
    dir.write("s.txt", "JSON { }\ngreater_less_than < >\n");
    EXPECT_EQ(load(dir.file("s.txt"), "json", {"old", '(', ')'}),
              "   Warning: Could not find delimiters, may cause problems!\n");
}

TEST(Delimiters, FileEndingInsideTheMatchingRecordKeepsTheMissingCharacters) {
    testsupport::TempDir dir;
    dir.write("name.txt", "json");
    EXPECT_EQ(load(dir.file("name.txt"), "json", {"", '(', ')'}), "json ()");
    dir.write("start.txt", "json {");
    EXPECT_EQ(load(dir.file("start.txt"), "json", {"", '(', ')'}), "json {)");
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

TEST(Delimiters, UnreadableFileIsReplacedByTheDefaults) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    testsupport::TempDir dir;
    dir.write("s.txt", "json ( )\n");
    chmod(dir.file("s.txt").c_str(), S_IWUSR);
    load(dir.file("s.txt"), "json");
    chmod(dir.file("s.txt").c_str(), S_IRUSR | S_IWUSR);
    EXPECT_EQ(dir.read("s.txt"), kDefaults);
}

}  // namespace
