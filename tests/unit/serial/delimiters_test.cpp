#include "serial/delimiters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/process.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

struct Loaded {
    DelimiterSet set;
    std::string printed;
};

Loaded load(const std::string& path, const std::string& requested, DelimiterSet set = {}) {
    CaptureStdout();
    loadDelimiterSet(path, requested, set);
    return {set, GetCapturedStdout()};
}

TEST(Delimiters, MissingFileIsCreatedWithTheDefaults) {
    testsupport::TempDir dir;
    const std::string path = dir.file("syntax_config.txt");
    Loaded json = load(path, "json");
    EXPECT_EQ(dir.read("syntax_config.txt"), "json { }\ngreater_less_than < >\n");
    EXPECT_EQ(json.printed, "");
    EXPECT_EQ(json.set.name, "json");
    EXPECT_EQ(json.set.start, '{');
    EXPECT_EQ(json.set.end, '}');

    Loaded angle = load(path, "greater_less_than");
    EXPECT_EQ(angle.printed, "");
    EXPECT_EQ(angle.set.start, '<');
    EXPECT_EQ(angle.set.end, '>');
}

TEST(Delimiters, FirstMatchingLineWinsAndNamesAreCaseSensitive) {
    testsupport::TempDir dir;
    dir.write("s.txt", "JSON ( )\njson [] trailing words\njson < >\n");
    Loaded loaded = load(dir.file("s.txt"), "json");
    EXPECT_EQ(loaded.printed, "");
    EXPECT_EQ(loaded.set.name, "json");
    EXPECT_EQ(loaded.set.start, '[');
    EXPECT_EQ(loaded.set.end, ']');

    // Records are read across line ends: a short line takes its characters from the next.
    dir.write("split.txt", "json\n{\n}\nother a b");
    Loaded split = load(dir.file("split.txt"), "json");
    EXPECT_EQ(split.set.start, '{');
    EXPECT_EQ(split.set.end, '}');
}

TEST(Delimiters, MissingSetFallsBackToSpacesWithAWarning) {
    testsupport::TempDir dir;
    dir.write("s.txt", "JSON { }\ngreater_less_than < >\n");
    Loaded loaded = load(dir.file("s.txt"), "json", {"old", '(', ')'});
    EXPECT_EQ(loaded.printed, "Warning: Could not find delimiters, may cause problems!\n");
    EXPECT_EQ(loaded.set.name, "");
    EXPECT_EQ(loaded.set.start, ' ');
    EXPECT_EQ(loaded.set.end, ' ');
}

TEST(Delimiters, FileEndingInsideTheMatchingRecordKeepsTheMissingCharacters) {
    testsupport::TempDir dir;
    dir.write("name.txt", "json");
    Loaded name = load(dir.file("name.txt"), "json", {"", '(', ')'});
    EXPECT_EQ(name.printed, "");
    EXPECT_EQ(name.set.name, "json");
    EXPECT_EQ(name.set.start, '(');
    EXPECT_EQ(name.set.end, ')');

    dir.write("start.txt", "json {");
    Loaded start = load(dir.file("start.txt"), "json", {"", '(', ')'});
    EXPECT_EQ(start.set.start, '{');
    EXPECT_EQ(start.set.end, ')');
}

TEST(Delimiters, FileThatCanNeitherBeReadNorCreatedLeavesTheSet) {
    testsupport::TempDir dir;
    Loaded loaded = load(dir.file("no-such-folder/syntax_config.txt"), "json");
    EXPECT_EQ(loaded.printed, "Warning: No file open");
    EXPECT_EQ(loaded.set.name, "");
    EXPECT_EQ(loaded.set.start, '\0');
    EXPECT_EQ(loaded.set.end, '\0');
}

TEST(Delimiters, UnreadableFileIsReplacedByTheDefaults) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
    testsupport::TempDir dir;
    dir.write("s.txt", "json ( )\n");
    chmod(dir.file("s.txt").c_str(), S_IWUSR);
    Loaded loaded = load(dir.file("s.txt"), "json");
    chmod(dir.file("s.txt").c_str(), S_IRUSR | S_IWUSR);
    EXPECT_EQ(dir.read("s.txt"), "json { }\ngreater_less_than < >\n");
}

}  // namespace
