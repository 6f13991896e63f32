#include "inputfiles/TagFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "base/LauncherException.h"
#include "launcher/Launcher.h"
#include "support/TestKit.h"

namespace {

// A stream holding `content`, closed when the object goes.
class MemoryStream {
public:
    explicit MemoryStream(const SString& content) : m_file(tmpfile()) {
        fwrite(content.data(), 1, content.size(), m_file);
        rewind(m_file);
    }
    ~MemoryStream() { fclose(m_file); }
    FILE* get() const { return m_file; }

private:
    FILE* m_file;
};

void loadText(TagFile& tags, const SString& content, long offset = 0, long length = -1) {
    MemoryStream stream(content);
    tags.load(stream.get(), "test.tag", offset, length);
}

// Tag names in entry order.
std::vector<SString> names(const TagFile& tags) {
    std::vector<SString> result;
    for (const TagFileEntry* entry : tags.entries()) result.push_back(entry->m_name);
    return result;
}

std::vector<SString> values(const TagFile& tags, const char* name) {
    std::vector<SString> result;
    for (long i = 0; i < tags.getTagValueCount(name); ++i)
        result.push_back(tags.getTagValue(name, i));
    return result;
}

SString loadFailure(const SString& content, long offset = 0, long length = -1) {
    TagFile tags;
    try {
        loadText(tags, content, offset, length);
    } catch (const LauncherException& e) {
        EXPECT_FALSE(tags.isLoaded());
        return e.getMessage();
    }
    return "no failure";
}

TEST(TagFileReader, BlankLinesOnlyGiveAnEmptyLoadedFile) {
    TagFile tags;
    EXPECT_FALSE(tags.isLoaded());
    loadText(tags, "\n  \t\r\n\n");
    EXPECT_TRUE(tags.isLoaded());
    EXPECT_TRUE(names(tags).empty());
}

TEST(TagFileReader, SingleValueLines) {
    TagFile tags;
    loadText(tags,
             "URL: http://host:80/x \r\n"
             "  my tag \t:\t two  words \n"
             ":nameless\n"
             "RAW: say \"hi\" \"\n"
             "QUOTED: \"a \"\"b\"\" \" ignored \"text\n"
             "EMPTY: \"\"\n"
             "CR: a\rb\n");
    EXPECT_EQ(names(tags),
              (std::vector<SString>{"URL", "my tag", "", "RAW", "QUOTED", "EMPTY", "CR"}));
    EXPECT_EQ(tags.getTagValue("URL", 0), "http://host:80/x");
    EXPECT_EQ(tags.getTagValue("my tag", 0), "two  words");
    EXPECT_EQ(tags.getTagValue("", 0), "nameless");
    EXPECT_EQ(tags.getTagValue("RAW", 0), "say \"hi\" \"");
    EXPECT_EQ(tags.getTagValue("QUOTED", 0), "a \"b\" ");
    EXPECT_EQ(values(tags, "EMPTY"), (std::vector<SString>{""}));
    EXPECT_EQ(tags.getTagValue("CR", 0), "ab");
}

TEST(TagFileReader, MultiValueBlocks) {
    TagFile tags;
    loadText(tags,
             "LIST: \t\n"
             "  first\n"
             "\n"
             "  \"\"\n"
             "  key: value\n"
             "  \" padded \" tail\n"
             "/:\n"
             "NONE:\n"
             "/:\n"
             "EARLY:\n"
             "  one\n"
             "  \"/:\"\n"
             "AFTER: x\n");
    EXPECT_EQ(values(tags, "LIST"), (std::vector<SString>{"first", "key: value", " padded "}));
    EXPECT_EQ(tags.getValue("NONE"), nullptr);
    EXPECT_EQ(values(tags, "EARLY"), (std::vector<SString>{"one"}));
    EXPECT_EQ(names(tags), (std::vector<SString>{"LIST", "EARLY", "AFTER"}));
}

TEST(TagFileReader, RedefinitionReplacesAndMovesToTheEnd) {
    TagFile tags;
    loadText(tags, "A:\n 1\n 2\n/:\nB: b\nA: 3\nC: c\nC:\n/:\n");
    EXPECT_EQ(names(tags), (std::vector<SString>{"B", "A"}));
    EXPECT_EQ(values(tags, "A"), (std::vector<SString>{"3"}));
}

TEST(TagFileReader, SyntaxErrorsNameTheFileAndLine) {
    EXPECT_EQ(loadFailure("A: 1\n\nno colon here\n"),
              "Syntax error in test.tag at line 3 ==> Missing colon at the end of the tag name.");
    EXPECT_EQ(loadFailure("A: 1\nLIST:\n  x\n\n  y\n"),
              "Syntax error in test.tag at line 2 ==> Missing /: tag completer.");
    EXPECT_EQ(loadFailure("LIST:"),
              "Syntax error in test.tag at line 1 ==> Missing /: tag completer.");
    EXPECT_EQ(loadFailure("A: 1\nLIST:\n x\n/: x\n"),
              "Syntax error in test.tag at line 2 ==> Missing /: tag completer.");
    EXPECT_EQ(loadFailure("A: \"open"), "Expected double quote to end argument near 4");
    EXPECT_EQ(loadFailure("L:\n  \"open\n/:\n"), "Expected double quote to end argument near 1");
}

TEST(TagFileReader, SyntaxErrorIsLoggedAndKeepsEarlierTags) {
    testkit::ScopedTempDir dir;
    testkit::LauncherState state;
    Launcher::setLogFileName(dir.file("log"));
    TagFile tags;
    EXPECT_THROW(loadText(tags, "A: 1\nbroken\nB: 2\n"), LauncherException);
    EXPECT_EQ(names(tags), (std::vector<SString>{"A"}));
    EXPECT_FALSE(tags.isLoaded());
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              "------------------\n"
              "ERROR: Syntax error in test.tag at line 2 ==> Missing colon at the end of the tag "
              "name.\n");
    // An unterminated quote is thrown without a log entry.
    EXPECT_THROW(loadText(tags, "A: \"x"), LauncherException);
    EXPECT_EQ(testkit::readFile(dir.file("log")).find("Expected"), SString::npos);
}

const SString kPrefix = "not a tag line\n";
const SString kEmbedded = "A: 1\nB:\n x\n/:\nC: 3\n";

TEST(TagFileRange, ReadsOnlyTheRangeAndCountsLinesFromItsStart) {
    TagFile tags;
    loadText(tags, kPrefix + kEmbedded + "junk\n", kPrefix.size(), kEmbedded.size());
    EXPECT_EQ(names(tags), (std::vector<SString>{"A", "B", "C"}));
    EXPECT_TRUE(tags.isLoaded());
    EXPECT_EQ(tags.getFileName(), "test.tag");
    EXPECT_EQ(loadFailure(kPrefix + "A: 1\nbad\n", kPrefix.size(), 9),
              "Syntax error in test.tag at line 2 ==> Missing colon at the end of the tag name.");
}

TEST(TagFileRange, LengthIsTestedOnlyBeforeTagLines) {
    TagFile partLine;
    loadText(partLine, kPrefix + kEmbedded, kPrefix.size(), 2);
    EXPECT_EQ(names(partLine), (std::vector<SString>{"A"}));
    EXPECT_EQ(partLine.getTagValue("A", 0), "1");

    TagFile block;  // the block starts inside the range and is read to its completer
    loadText(block, kPrefix + kEmbedded, kPrefix.size(), 6);
    EXPECT_EQ(names(block), (std::vector<SString>{"A", "B"}));
    EXPECT_EQ(values(block, "B"), (std::vector<SString>{"x"}));

    TagFile none;
    loadText(none, kEmbedded, 0, 0);
    EXPECT_TRUE(none.isLoaded());
    EXPECT_TRUE(names(none).empty());
}

TEST(TagFileRange, UnpositionableOffsetFails) {
    EXPECT_EQ(loadFailure("A: 1\n", -5), "Unable to read tag file.");
}

TEST(TagFileConstructor, LoadsANamedFileOrNamesTheMissingOne) {
    testkit::ScopedTempDir dir;
    testkit::writeFile(dir.file("in.tag"), "ACTION: RUN\n");
    TagFile tags(dir.file("in.tag"));
    EXPECT_TRUE(tags.isLoaded());
    EXPECT_EQ(tags.getTagValue("ACTION", 0), "RUN");
    try {
        TagFile missing(dir.file("missing.tag"));
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Unable to load input file: " + dir.file("missing.tag"));
    }
}

TEST(TagFileQueries, MissingTagsAndIndexesReadEmpty) {
    TagFile tags;
    loadText(tags, "A:\n x\n y\n/:\nCase: 1\n");
    EXPECT_EQ(tags.getValue("B"), nullptr);
    EXPECT_EQ(tags.getValue("case"), nullptr);
    EXPECT_EQ(tags.getValue("Cas"), nullptr);
    EXPECT_EQ(tags.getTagValue("A", 1), "y");
    EXPECT_EQ(tags.getTagValue("A", 2), "");
    EXPECT_EQ(tags.getTagValue("B", 0), "");
    EXPECT_EQ(tags.getTagValueCount("A"), 2);
    EXPECT_EQ(tags.getTagValueCount("B"), 0);
}

TEST(TagFileQueries, BoolValuesScanAShortNumber) {
    TagFile tags;
    const std::vector<std::pair<SString, int>> cases = {
        {"1", 1},    {"2", 1},      {"-1", 1},   {"0", 0}, {"+0", 0},
        {"0x10", 0}, {"7 days", 1}, {"yes", -1}, {"", -1}, {"- 1", -1}};
    for (const auto& c : cases) {
        tags.setTagValue("B", c.first);
        if (c.second < 0) {
            EXPECT_TRUE(tags.getBoolTagValue("B", true)) << c.first;
            EXPECT_FALSE(tags.getBoolTagValue("B", false)) << c.first;
        } else {
            EXPECT_EQ(tags.getBoolTagValue("B", c.second == 0), c.second == 1) << c.first;
        }
    }
    EXPECT_TRUE(tags.getBoolTagValue("MISSING", true));
    EXPECT_FALSE(tags.getBoolTagValue("MISSING", false));
}

TEST(TagFileChanges, SetKeepsThePlaceAndLeavesOneValue) {
    TagFile tags;
    loadText(tags, "A:\n 1\n 2\n 3\n/:\nB: b\n");
    tags.setTagValue("A", "new");
    EXPECT_EQ(values(tags, "A"), (std::vector<SString>{"new"}));
    tags.appendTagValue("C", "c1");
    tags.appendTagValue("C", "c2");
    tags.setBoolTagValue("T", true);
    tags.setBoolTagValue("F", false);
    EXPECT_EQ(names(tags), (std::vector<SString>{"A", "B", "C", "T", "F"}));
    EXPECT_EQ(values(tags, "C"), (std::vector<SString>{"c1", "c2"}));
    EXPECT_EQ(tags.getTagValue("T", 0), "1");
    EXPECT_EQ(tags.getTagValue("F", 0), "0");
    tags.removeValue("B");
    tags.removeValue("nothing");
    EXPECT_EQ(names(tags), (std::vector<SString>{"A", "C", "T", "F"}));
}

TEST(TagFileChanges, DynamicJVMTagsInOrder) {
    TagFile tags;
    tags.setTagValue("JVM_FILE", "old");
    tags.setDynamicJVMTags("/opt/jdk", "/tmp/qnjX/jvm", true);
    EXPECT_EQ(names(tags), (std::vector<SString>{"JVM_FILE", "JVM_HOME", "JVM_TEMP"}));
    EXPECT_EQ(tags.getTagValue("JVM_HOME", 0), "/opt/jdk");
    EXPECT_EQ(tags.getTagValue("JVM_FILE", 0), "/tmp/qnjX/jvm");
    EXPECT_EQ(tags.getTagValue("JVM_TEMP", 0), "1");
}

TEST(TagFileWriter, WritesTheExactFormat) {
    testkit::ScopedTempDir dir;
    TagFile tags;
    tags.setTagValue("ONE", "plain value: with colon");
    tags.setTagValue("LEAD", " lead");
    tags.setTagValue("TRAIL", "trail\t");
    tags.setTagValue("EMPTY", "");
    tags.setTagValue("QUOTE", "say \"hi\"");
    tags.setTagValue("M", "a");
    tags.appendTagValue("M", "");
    tags.appendTagValue("M", "\"\"");
    testkit::writeFile(dir.file("out.tag"), "old content that must go away\n");
    tags.write(dir.file("out.tag"));
    EXPECT_EQ(testkit::readFile(dir.file("out.tag")),
              "ONE:  plain value: with colon\n"
              "LEAD:  \" lead\"\n"
              "TRAIL:  \"trail\t\"\n"
              "EMPTY:  \"\"\n"
              "QUOTE:  \"say \"\"hi\"\"\"\n"
              "M:\n"
              "  a\n"
              "  \"\"\n"
              "  \"\"\"\"\"\"\n"
              "/:\n");
}

// The writer rewrites a file in place instead of emptying it first: what it leaves must
// still be the new tags alone, whatever stood there before, longer or of the same length.
TEST(TagFileWriter, AFileWrittenOverHoldsOnlyTheNewTags) {
    testkit::ScopedTempDir dir;
    TagFile tags;
    tags.setTagValue("A", "1");
    testkit::writeFile(dir.file("longer.tag"), "A:  1\nB:  " + SString(5000, 'b') + "\n");
    tags.write(dir.file("longer.tag"));
    EXPECT_EQ(testkit::readFile(dir.file("longer.tag")), "A:  1\n");
    testkit::writeFile(dir.file("same.tag"), "X:  9\n");
    tags.write(dir.file("same.tag"));
    EXPECT_EQ(testkit::readFile(dir.file("same.tag")), "A:  1\n");
    TagFile none;
    tags.write(dir.file("empty.tag"));
    none.write(dir.file("empty.tag"));
    EXPECT_EQ(testkit::readFile(dir.file("empty.tag")), "");
}

TEST(TagFileWriter, ReaderReadsBackWhatTheWriterWrote) {
    testkit::ScopedTempDir dir;
    TagFile tags;
    const std::vector<SString> single = {"x", " a b ", "\"", "\"q\" tail", "", "/:", "c:d", "\t"};
    for (size_t i = 0; i < single.size(); ++i) {
        tags.setTagValue(("S" + std::to_string(i)).c_str(), single[i]);
    }
    const std::vector<SString> many = {"one", " two", "\"three\"", "four: 4", "x\"\"y"};
    for (const SString& value : many) tags.appendTagValue("MANY", value);
    tags.appendTagValue("my tag", "v");
    tags.write(dir.file("round.tag"));

    TagFile back(dir.file("round.tag"));
    EXPECT_EQ(names(back), names(tags));
    for (size_t i = 0; i < single.size(); ++i) {
        EXPECT_EQ(values(back, ("S" + std::to_string(i)).c_str()),
                  (std::vector<SString>{single[i]}));
    }
    EXPECT_EQ(values(back, "MANY"), many);
    EXPECT_EQ(back.getTagValue("my tag", 0), "v");
}

// A descriptor that cannot be written whole is an error the run reports, never a file the
// next instruction reads half or empty.
TEST(TagFileWriter, AFailedWriteIsTheCataloguesWriteError) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    TagFile tags;
    tags.setTagValue("A", SString(100000, 'x'));
    const SString hint =
        " There may not be enough temporary disk space. Try using -qn:tempdir to use a "
        "temporary directory on a partition with more disk space.";
    const auto failure = [&](const SString& path) {
        try {
            tags.write(path);
        } catch (const LauncherException& e) {
            return e.getMessage();
        }
        return SString("no failure");
    };
    EXPECT_EQ(failure(dir.file("missing/out.tag")),
              "Error writing file = " + std::to_string(ENOENT) + hint);
    EXPECT_TRUE(testkit::listDir(dir.path()).empty());
    {
        // The limit stands in for a full disk.
        testkit::ScopedFileSizeLimit limit(4096);
        EXPECT_EQ(failure(dir.file("out.tag")),
                  "Error writing file = " + std::to_string(EFBIG) + hint);
    }
    tags.write(dir.file("out.tag"));
    EXPECT_EQ(testkit::readFile(dir.file("out.tag")), "A:  " + SString(100000, 'x') + "\n");
}

TEST(TagFileReader, DirectoryFailsAsUnreadableInsteadOfLoopingForever) {
    testkit::ScopedTempDir dir;
    try {
        TagFile tags(dir.path());
        ADD_FAILURE() << "loaded a directory";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Unable to load input file: " + dir.path());
    }
    // A stream that only gives read errors ends the load.
    FILE* stream = fopen(dir.path().c_str(), "r");
    ASSERT_NE(stream, nullptr);
    TagFile tags;
    try {
        tags.load(stream, "d", 0, -1);
        ADD_FAILURE() << "loaded a directory stream";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Unable to read tag file.");
    }
    fclose(stream);
}

TEST(TagFileReader, ManyTagsLoadInOrderWithRedefinitionsMovedToTheEnd) {
    // 200,000 distinct tags, then every other one of the first half redefined.
    const int count = 200000;
    SString text;
    for (int i = 0; i < count; ++i)
        text += "T" + std::to_string(i) + ": " + std::to_string(i) + "\n";
    for (int i = 0; i < count / 2; i += 2) text += "T" + std::to_string(i) + ": again\n";
    TagFile tags;
    loadText(tags, text);
    std::vector<SString> order = names(tags);
    ASSERT_EQ(order.size(), static_cast<size_t>(count));
    EXPECT_EQ(order[0], "T1");
    EXPECT_EQ(order[count - count / 4 - 1], "T" + std::to_string(count - 1));
    EXPECT_EQ(order[count - count / 4], "T0");
    EXPECT_EQ(order.back(), "T" + std::to_string(count / 2 - 2));
    EXPECT_EQ(values(tags, "T0"), std::vector<SString>{"again"});
    EXPECT_EQ(values(tags, "T1"), std::vector<SString>{"1"});
    EXPECT_EQ(tags.getTagValueCount("T199999"), 1);
    // Removing most tags keeps the others findable and in order.
    for (int i = 0; i < count; ++i) {
        if (i % 1000 != 7) tags.removeValue(("T" + std::to_string(i)).c_str());
    }
    order = names(tags);
    ASSERT_EQ(order.size(), 200u);
    EXPECT_EQ(order[0], "T7");
    EXPECT_EQ(values(tags, "T1007"), std::vector<SString>{"1007"});
    tags.appendTagValue("T7", "more");
    EXPECT_EQ(values(tags, "T7"), (std::vector<SString>{"7", "more"}));
}

TEST(TagFileReader, PipeIsReadAsAStreamFromItsStart) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const SString text = "A: 1\nB:\n  x\n  y\n/:\n";
    ASSERT_EQ(static_cast<ssize_t>(text.size()), write(fds[1], text.data(), text.size()));
    close(fds[1]);
    FILE* stream = fdopen(fds[0], "r");
    TagFile tags;
    tags.load(stream, "pipe", 0, -1);
    fclose(stream);
    EXPECT_TRUE(tags.isLoaded());
    EXPECT_EQ(names(tags), (std::vector<SString>{"A", "B"}));
    EXPECT_EQ(values(tags, "B"), (std::vector<SString>{"x", "y"}));
}

}  // namespace
