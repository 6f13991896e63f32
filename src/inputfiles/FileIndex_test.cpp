#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndex.h"
#include "inputfiles/FileIndexEntry.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

SString be32(uint32_t v) {
    return SString{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                   static_cast<char>(v >> 8), static_cast<char>(v)};
}
SString be16(unsigned v) {
    return SString{static_cast<char>(v >> 8), static_cast<char>(v)};
}

const SString kStub = "STUB";
const SString kIdentification = "\xCA\x82\xCA\x82";

// One index entry; `nameLength` overrides the length field.
SString entry(int type, long id, long length, long offset, const SString& name,
              long nameLength = -1) {
    return SString(1, static_cast<char>(type)) + be32(id) + be32(length) + be32(offset) +
           be16(nameLength < 0 ? name.size() : nameLength) + name;
}

// The stub, the index and a trailer pointing at the index.
SString launcherBytes(const SString& index) {
    return kStub + index + be32(kStub.size()) + kIdentification;
}

// The stub and an index whose last eight bytes are the trailer itself, so that an entry
// can end exactly at the end of the file.
SString launcherEndingInIndex(SString index) {
    index.replace(index.size() - 8, 8, be32(kStub.size()) + kIdentification);
    return kStub + index;
}

// The bytes of an index held in memory.
class TextSource : public IndexSource {
public:
    explicit TextSource(const SString& text) : m_text(text) {}
    size_t read(char* buffer, size_t count) override {
        const size_t n = std::min(count, m_text.size() - m_position);
        m_text.copy(buffer, n, m_position);
        m_position += n;
        return n;
    }
    long long remaining() const override {
        return static_cast<long long>(m_text.size() - m_position);
    }

private:
    SString m_text;
    size_t m_position = 0;
};

struct LoadResult {
    SString message;  // empty when load(false) succeeded
    std::vector<SString> names;
    bool loaded = false;
};

LoadResult loadLauncher(const SString& bytes) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::writeFile(dir.file("launcher"), bytes);
    testkit::StateAccess::setLauncherFile(dir.file("launcher"));
    LoadResult result;
    try {
        testkit::StateAccess::inputFiles().load(false);
    } catch (const LauncherException& e) {
        result.message = e.getMessage();
    }
    for (long i = 0; i < testkit::StateAccess::inputFiles().getFileCount(); ++i) {
        result.names.push_back(testkit::StateAccess::inputFiles().getFileAt(i)->m_name);
    }
    result.loaded = testkit::StateAccess::inputFiles().isLoaded();
    return result;
}

TEST(BigEndian, LongDecodesEveryByteValueInEveryPlace) {
    for (unsigned b = 0; b < 256; ++b) {
        for (int place = 0; place < 4; ++place) {
            char bytes[4] = {0, 0, 0, 0};
            bytes[place] = static_cast<char>(b);
            uint32_t expected = b << (8 * (3 - place));
            EXPECT_EQ(PlatformImpl::convertToLong(bytes), static_cast<int32_t>(expected))
                << b << " at " << place;
        }
    }
    EXPECT_EQ(PlatformImpl::convertToLong("\xFF\xFF\xFF\xFF"), -1);
    EXPECT_EQ(PlatformImpl::convertToLong("\x80\x00\x00\x00"), INT32_MIN);
    EXPECT_EQ(PlatformImpl::convertToLong("\x7F\xFF\xFF\xFF"), INT32_MAX);
    EXPECT_EQ(PlatformImpl::convertToLong("\x12\x34\x56\x78"), 0x12345678);
}

TEST(BigEndian, ShortDecodesEveryPairOfBytes) {
    for (unsigned high = 0; high < 256; ++high) {
        for (unsigned low = 0; low < 256; ++low) {
            const char bytes[2] = {static_cast<char>(high), static_cast<char>(low)};
            ASSERT_EQ(PlatformImpl::convertToShort(bytes),
                      static_cast<int16_t>(static_cast<uint16_t>(high << 8 | low)))
                << high << " " << low;
        }
    }
}

TEST(BigEndian, DecodersTakeSignedValuesOfConsecutiveBytes) {
    SString bytes;
    for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t expected = (4 * i) << 24 | (4 * i + 1) << 16 | (4 * i + 2) << 8 | (4 * i + 3);
        ASSERT_EQ(PlatformImpl::convertToLong(bytes.data() + 4 * i), static_cast<int32_t>(expected))
            << i;
    }
    for (unsigned i = 0; i < 128; ++i) {
        ASSERT_EQ(PlatformImpl::convertToShort(bytes.data() + 2 * i),
                  static_cast<int16_t>(static_cast<uint16_t>((2 * i) << 8 | (2 * i + 1))));
    }
}

TEST(LauncherTrailer, MessagesOfBrokenTrailers) {
    const std::vector<std::pair<SString, SString>> cases = {
        {"", "Invalid launcher format."},
        {"1234567", "Invalid launcher format."},
        {kStub + be32(-16) + kIdentification, "Invalid file index offset."},
        {kStub + be32(1000) + kIdentification, "Unable to read the file count."},
        {launcherBytes(be32(1) + entry(9, 1, 0, 0, "x")), "Invalid file type in file index."},
        {launcherBytes(be32(1) + entry(255, 1, 0, 0, "x")), "Invalid file type in file index."},
    };
    for (const auto& c : cases) {
        LoadResult result = loadLauncher(c.first);
        EXPECT_EQ(result.message, c.second) << c.first.size() << " bytes";
        EXPECT_FALSE(result.loaded);
    }
}

TEST(LauncherTrailer, MissingLauncherCannotBeOpened) {
    testkit::LauncherState state("/nonexistent/launcher");
    try {
        testkit::StateAccess::inputFiles().load(false);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "Cannot open launcher file.");
    }
    EXPECT_FALSE(testkit::StateAccess::inputFiles().isLoaded());
}

TEST(LauncherTrailer, NoIdentificationValueMeansNoIndex) {
    for (const SString& bytes :
         {SString("12345678"), kStub + be32(4) + "\xCA\x82\xCA\x83", SString(100, '\0')}) {
        LoadResult result = loadLauncher(bytes);
        EXPECT_EQ(result.message, "");
        EXPECT_TRUE(result.names.empty());
        EXPECT_TRUE(result.loaded);
    }
}

TEST(LauncherTrailer, CountOfZeroOrLessIsAnEmptyIndex) {
    for (uint32_t count : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        LoadResult result = loadLauncher(launcherBytes(be32(count)));
        EXPECT_EQ(result.message, "") << count;
        EXPECT_TRUE(result.names.empty());
        EXPECT_TRUE(result.loaded);
    }
}

TEST(LauncherTrailer, CountBeyondTheEndKeepsTheEntriesBeforeIt) {
    // The second entry runs into the trailer: type 0, an id, then three bytes of length.
    LoadResult result = loadLauncher(launcherBytes(be32(2) + entry(3, 1, 0, 0, "first")));
    EXPECT_EQ(result.message, "Unable to load file length.");
    EXPECT_EQ(result.names, (std::vector<SString>{"first"}));
    EXPECT_FALSE(result.loaded);
}

TEST(LauncherTrailer, FieldsTruncatedByOneByteAtTheEndOfTheFile) {
    const SString full = be32(1) + entry(0, 1, 2, 3, "");
    // An id cut short cannot end a launcher file: the type byte would be a byte of the
    // identification value. The other fields can.
    EXPECT_EQ(loadLauncher(launcherEndingInIndex(full.substr(0, 4 + 8))).message,
              "Unable to load file length.");
    EXPECT_EQ(loadLauncher(launcherEndingInIndex(full.substr(0, 4 + 12))).message,
              "Unable to load offset to file bytes.");
    EXPECT_EQ(loadLauncher(launcherEndingInIndex(full.substr(0, 4 + 14))).message,
              "Unable to load the string value.");
}

TEST(FileIndexLoad, EveryTruncationOfAnEntryNamesItsField) {
    const SString full = entry(2, 7, 100, 200, "abc");
    for (size_t cut = 0; cut <= 15; ++cut) {
        const char* expected = cut == 0   ? "Invalid file type in file index."
                               : cut < 5  ? "Unable to load file id."
                               : cut < 9  ? "Unable to load file length."
                               : cut < 13 ? "Unable to load offset to file bytes."
                               : cut < 15 ? "Unable to load the string value."
                                          : "";
        TextSource source(be32(2) + full + full.substr(0, cut));
        FileIndex files;
        SString message;
        try {
            files.load(source);
        } catch (const LauncherException& e) {
            message = e.getMessage();
        }
        EXPECT_EQ(message, expected) << "cut " << cut;
        ASSERT_EQ(files.size(), cut < 15 ? 1 : 2) << "cut " << cut;
        const FileIndexEntry* first = files.at(0);
        EXPECT_EQ(first->m_type, 2);
        EXPECT_EQ(first->m_id, 7);
        EXPECT_EQ(first->m_length, 100);
        EXPECT_EQ(first->m_offset, 200);
        EXPECT_EQ(first->m_name, "abc");
        if (cut == 15) {
            EXPECT_EQ(files.at(1)->m_name, "");
        }
    }
}

TEST(FileIndexLoad, NameLengthsDecodeBigEndianAndNamesStopAtNul) {
    SString index = be32(8);
    const std::vector<size_t> lengths = {0, 127, 128, 255, 256, 300};
    for (size_t length : lengths) index += entry(3, 1, 0, 0, SString(length, 'n'));
    index += entry(3, 2, 0, 0, SString("ab\0cd", 5));
    index += entry(7, -5, 9, 10, "end");
    LoadResult result = loadLauncher(launcherBytes(index));
    EXPECT_EQ(result.message, "");
    ASSERT_EQ(result.names.size(), 8u);
    for (size_t i = 0; i < lengths.size(); ++i) EXPECT_EQ(result.names[i].size(), lengths[i]);
    EXPECT_EQ(result.names[6], "ab");
    EXPECT_EQ(result.names[7], "end");
}

// Extraction runs over a real bundle with a tiny stub.
class Extraction : public ::testing::Test {
protected:
    void SetUp() override {
        // Progress is counted only when output is not silent; hide it from the terminal.
        PlatformImpl::setSilent(false);
        PlatformImpl::hideUI();
        testkit::writeFile(dir.file("stub"), "#!/bin/sh\n");
    }
    SString bundle(testkit::BundleBuilder& builder) {
        SString path = builder.stub(dir.file("stub")).write(dir.file("bundle"));
        testkit::StateAccess::setLauncherFile(path);
        testkit::StateAccess::inputFiles().load(false);
        return path;
    }
    const FileIndexEntry& file(long i) { return *testkit::StateAccess::inputFiles().getFileAt(i); }
    SString extract(const FileIndexEntry& entry, const SString& directory) {
        return testkit::StateAccess::inputFiles().bundle()->extract(entry, directory);
    }
    SString failure(const FileIndexEntry& entry, const SString& directory) {
        try {
            extract(entry, directory);
        } catch (const LauncherException& e) {
            return e.getMessage();
        }
        return "no failure";
    }

    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
};

TEST_F(Extraction, CopiesByteIdenticalInChunksWithOneProgressStepEach) {
    const std::vector<std::pair<size_t, long>> sizes = {{0, 0},     {1, 1},      {61439, 1},
                                                        {61440, 2}, {122878, 2}, {122879, 3}};
    testkit::BundleBuilder builder(dir.path());
    for (size_t i = 0; i < sizes.size(); ++i) {
        builder.add(FILE_TYPE_CLASSPATH_ARCHIVE, "f" + std::to_string(i),
                    testkit::patternBytes(sizes[i].first));
    }
    bundle(builder);
    testkit::makeDirs(dir.file("out"));
    for (size_t i = 0; i < sizes.size(); ++i) {
        long before = testkit::StateAccess::progress();
        SString path = extract(file(i), dir.file("out"));
        EXPECT_EQ(path, dir.file("out/f" + std::to_string(i)));
        EXPECT_EQ(testkit::readFile(path), testkit::patternBytes(sizes[i].first)) << sizes[i].first;
        EXPECT_EQ(testkit::StateAccess::progress() - before, sizes[i].second) << sizes[i].first;
    }
}

TEST_F(Extraction, LargeFilesArePageAlignedAndCountEveryChunkOnScreen) {
    const size_t size = 70 * 61439 + 1;
    testkit::BundleBuilder builder(dir.path());
    builder.add(FILE_TYPE_CLASSPATH_ARCHIVE, "small", "abc");
    builder.add(FILE_TYPE_CLASSPATH_ARCHIVE, "large", testkit::patternBytes(size));
    bundle(builder);
    EXPECT_NE(file(0).m_offset % 4096, 0);
    EXPECT_EQ(file(1).m_offset % 4096, 0);
    testkit::makeDirs(dir.file("out"));
    for (bool visible : {false, true}) {
        if (visible) PlatformImpl::showUI();
        long before = testkit::StateAccess::progress();
        testkit::StdoutCapture capture;
        SString path = extract(file(1), dir.file("out"));
        SString shown = capture.finish();
        EXPECT_EQ(testkit::readFile(path), testkit::patternBytes(size));
        EXPECT_EQ(testkit::StateAccess::progress() - before, 71);
        EXPECT_EQ(shown, visible ? SString(70, '.') + "\n." : SString());
        testkit::StateAccess::setProgress(0);
        unlink(path.c_str());
    }
}

TEST_F(Extraction, EmptyDirectoryMeansTheWorkingDirectory) {
    testkit::BundleBuilder builder(dir.path());
    bundle(builder.add(FILE_TYPE_JVM, "jvm.tag", "A: 1\n"));
    testkit::makeDirs(dir.file("cwd"));
    ASSERT_EQ(chdir(dir.file("cwd").c_str()), 0);
    EXPECT_EQ(extract(file(0), ""), "jvm.tag");
    EXPECT_EQ(testkit::readFile(dir.file("cwd/jvm.tag")), "A: 1\n");
}

TEST_F(Extraction, UnsafeNamesAreRefusedAndNothingIsWritten) {
    testkit::BundleBuilder builder(dir.path());
    for (const char* name : {"a/b", ".", "..", "../escape"}) builder.add(3, name, "data");
    bundle(builder);
    testkit::makeDirs(dir.file("out/a"));
    for (long i = 0; i < 4; ++i) {
        EXPECT_EQ(failure(file(i), dir.file("out")),
                  "Invalid file name in file index: " + file(i).m_name);
    }
    EXPECT_EQ(testkit::listDir(dir.file("out")), (std::vector<SString>{"a"}));
    EXPECT_TRUE(testkit::listDir(dir.file("out/a")).empty());
    EXPECT_FALSE(testkit::exists(dir.file("escape")));
}

TEST_F(Extraction, NegativeOffsetOrLengthIsAnError) {
    testkit::BundleBuilder builder(dir.path());
    bundle(builder.add(3, "data", "0123456789"));
    FileIndexEntry entry;
    entry.m_name = "broken";
    for (std::pair<long, long> range : {std::make_pair(-1L, 4L), std::make_pair(0L, -4L)}) {
        entry.m_offset = range.first;
        entry.m_length = range.second;
        SString message = failure(entry, dir.path());
        EXPECT_NE(message.find("broken"), SString::npos) << message;
        EXPECT_FALSE(testkit::exists(dir.file("broken")));
    }
}

TEST_F(Extraction, RangePastTheEndIsCopiedShort) {
    testkit::BundleBuilder builder(dir.path());
    SString path = bundle(builder.add(3, "data", "0123456789"));
    FileIndexEntry entry;
    entry.m_name = "tail";
    entry.m_offset = 4;
    entry.m_length = 1000000;
    EXPECT_EQ(testkit::readFile(extract(entry, dir.path())), testkit::readFile(path).substr(4));
}

TEST_F(Extraction, WriteFailuresGiveTheErrorNumberAndTheSpaceHint) {
    testkit::BundleBuilder builder(dir.path());
    bundle(builder.add(3, "data", "0123456789").add(3, "full", testkit::patternBytes(70000)));
    const SString hint =
        " There may not be enough temporary disk space. Try using -qn:tempdir to use a "
        "temporary directory on a partition with more disk space.";
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    testkit::writeFile(dir.file("plain"), "a regular file");
    // A relative directory has its free space judged on the working directory, so the
    // open fails; an absolute one fails already when its free space is examined.
    EXPECT_EQ(failure(file(0), "plain/sub"),
              "Error writing file = " + std::to_string(ENOTDIR) + hint);
    EXPECT_EQ(failure(file(0), dir.file("plain/sub")), strerror(ENOTDIR));
    // A file too large to be written; the limit stands in for a full disk.
    SString tooLarge;
    {
        testkit::ScopedFileSizeLimit limit(4096);
        tooLarge = failure(file(1), dir.path());
    }
    EXPECT_EQ(tooLarge, "Error writing file = " + std::to_string(EFBIG) + hint);
}

// The temporary directory is swapped for a link to someone's private directory after it was
// made: the archive still lands in the directory the launcher made, and is private to it.
TEST_F(Extraction, IntoATemporaryDirectoryThatWasSwappedForALink) {
    testkit::BundleBuilder builder(dir.path());
    bundle(builder.add(FILE_TYPE_CLASSPATH_ARCHIVE, "lib.jar", "library"));
    testkit::makeDirs(dir.file("temp"));
    testkit::makeDirs(dir.file("victim"));
    PlatformImpl::setSystemTempDir(dir.file("temp"));
    testkit::ScopedEnv tmpdir("TMPDIR", nullptr);
    const mode_t saved = umask(0);
    const SString temp = PlatformImpl::createTempSubDirectory();
    const SString moved = testkit::swapForLink(temp, dir.file("victim"));
    const SString path = extract(file(0), temp);
    umask(saved);
    EXPECT_EQ(path, temp + "/lib.jar");
    EXPECT_TRUE(testkit::listDir(dir.file("victim")).empty());
    EXPECT_EQ(testkit::readFile(moved + "/lib.jar"), "library");
    struct stat st;
    ASSERT_EQ(stat((moved + "/lib.jar").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Nothing that stands at the name is written to or through: a file, a directory, a symbolic
// link (leading anywhere or nowhere) stays as it was.
TEST_F(Extraction, ExistingEntriesAreNeverOverwrittenOrFollowed) {
    testkit::BundleBuilder builder(dir.path());
    bundle(builder.add(3, "data", "0123456789"));
    testkit::writeFile(dir.file("victim"), "precious");
    testkit::writeFile(dir.file("file/data"), "old");
    testkit::makeDirs(dir.file("dir/data"));
    testkit::makeDirs(dir.file("link"));
    testkit::makeDirs(dir.file("dangling"));
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("link/data").c_str()), 0);
    ASSERT_EQ(symlink(dir.file("nowhere").c_str(), dir.file("dangling/data").c_str()), 0);
    for (const char* place : {"file", "dir", "link", "dangling"}) {
        EXPECT_EQ(failure(file(0), dir.file(place)),
                  dir.file(place) + "/data exists already; it is not overwritten.");
    }
    EXPECT_EQ(testkit::readFile(dir.file("victim")), "precious");
    EXPECT_EQ(testkit::readFile(dir.file("file/data")), "old");
    EXPECT_FALSE(testkit::exists(dir.file("nowhere")));
}

// The bundle is opened once and held: entries come from that file even when its path has
// since been removed or replaced.
TEST_F(Extraction, EntriesComeFromTheFileOpenedAtStart) {
    testkit::BundleBuilder builder(dir.path());
    const SString path = bundle(builder.add(3, "data", "0123456789"));
    ASSERT_EQ(unlink(path.c_str()), 0);
    testkit::writeFile(path, SString(200, 'x'));
    testkit::makeDirs(dir.file("out"));
    EXPECT_EQ(testkit::readFile(extract(file(0), dir.file("out"))), "0123456789");
}

TEST_F(Extraction, InstallersAndLaunchersComeOutExecutable) {
    testkit::BundleBuilder builder(dir.path());
    for (int type = 0; type <= kLastFileType; ++type)
        builder.add(type, "t" + std::to_string(type), "A: 1\n");
    bundle(builder);
    testkit::makeDirs(dir.file("out"));
    for (int type = 0; type <= kLastFileType; ++type) {
        struct stat st;
        ASSERT_EQ(stat(extract(file(type), dir.file("out")).c_str(), &st), 0);
        bool executable = type == FILE_TYPE_JVM_INSTALLER || type == FILE_TYPE_EMBEDDED_LAUNCHER;
        EXPECT_EQ((st.st_mode & 0111) == 0111, executable) << type;
        EXPECT_EQ((st.st_mode & 0111) == 0, !executable) << type;
    }
}

}  // namespace

namespace {

// An index may claim any length for a tag file: reading it takes what the file holds past
// the entry's offset, not the claim (which once cost 64 MiB of memory per tag file).
TEST(TagFileEntries, AClaimedLengthPastTheEndReadsOnlyWhatTheFileHolds) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const SString tags = "DESC: small\n";
    SString index = be32(1) + entry(FILE_TYPE_JVM, 1, 0x7FFFFFFF, kStub.size(), "j.jvm");
    testkit::writeFile(dir.file("launcher"),
                       kStub + tags + index + be32(kStub.size() + tags.size()) + kIdentification);
    Bundle bundle(dir.file("launcher"));
    bundle.readIndex();
    ASSERT_EQ(bundle.index().size(), 1);
    struct rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    // What follows the tag file (the index) is no tag text: a syntax error, after the tag.
    EXPECT_THROW(bundle.loadTagFile(*bundle.index().at(0)), LauncherException);
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(bundle.index().at(0)->m_tagFile->getTagValue("DESC", 0), "small");
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024);
}

}  // namespace
