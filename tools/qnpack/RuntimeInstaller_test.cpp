#include "qnpack/RuntimeInstaller.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <map>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "inputfiles/UstarReader.h"
#include "support/TestKit.h"

namespace {

SString gunzip(const SString& bytes) {
    z_stream stream = {};
    EXPECT_EQ(inflateInit2(&stream, 16 + MAX_WBITS), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    SString out;
    char buffer[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    EXPECT_EQ(status, Z_STREAM_END);
    inflateEnd(&stream);
    return out;
}

unsigned long field(const char* header, size_t offset, size_t width) {
    return strtoul(SString(header + offset, width).c_str(), nullptr, 8);
}

TEST(RuntimeInstaller, TarHeadersSplitLongNamesAndCarryAValidChecksum) {
    char header[512];
    ASSERT_TRUE(tarHeader("bin/java", '0', 0755, 12345, 1700000000, header));
    EXPECT_STREQ(header, "bin/java");
    EXPECT_EQ(field(header, 100, 8), 0755u);
    EXPECT_EQ(field(header, 124, 12), 12345u);
    EXPECT_EQ(SString(header + 257, 5), "ustar");
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += i >= 148 && i < 156 ? ' ' : static_cast<unsigned char>(header[i]);
    EXPECT_EQ(field(header, 148, 7), sum);

    const SString dir(120, 'd');
    ASSERT_TRUE(tarHeader(dir + "/file.txt", '0', 0644, 0, 0, header));
    EXPECT_STREQ(header, "file.txt");
    EXPECT_EQ(SString(header + 345), dir);
    EXPECT_FALSE(tarHeader(SString(120, 'x'), '0', 0644, 0, 0, header));
    EXPECT_FALSE(tarHeader("big", '0', 0644, 1ull << 33, 0, header));
}

TEST(RuntimeInstaller, ReleaseFileAndRefusedDirectories) {
    EXPECT_EQ(releaseValue("IMPLEMENTOR=\"X\"\nJAVA_VERSION=\"17.0.15\"\n", "JAVA_VERSION"),
              "17.0.15");
    EXPECT_EQ(releaseValue("JAVA_VERSION_DATE=\"2025\"\n", "JAVA_VERSION"), "");
    testkit::ScopedTempDir dir;
    EXPECT_THROW(writeRuntimeInstaller(dir.path(), dir.file("out")), LauncherException);
    testkit::writeFile(dir.file("bin/java"), "#!/bin/sh\n", 0755);
    testkit::writeFile(dir.file("release"), "JAVA_VERSION=\"17'; rm -rf /\"\n");
    try {
        writeRuntimeInstaller(dir.path(), dir.file("out"));
        FAIL();
    } catch (const LauncherException& e) {
        EXPECT_NE(e.getMessage().find("names no JAVA_VERSION"), SString::npos);
    }
}

// The archive holds the tree in name order with each file's permissions and bytes; links
// are followed, and one that leads nowhere is left out.
TEST(RuntimeInstaller, TheArchiveHoldsTheTreeWithModesAndFollowsLinks) {
    testkit::ScopedTempDir dir;
    const SString rt = dir.file("rt");
    testkit::writeFile(rt + "/bin/java", "#!/bin/sh\n", 0755);
    testkit::writeFile(rt + "/release", "JAVA_VERSION=\"17.0.2\"\n", 0644);
    testkit::writeFile(rt + "/lib/a.txt", "abc", 0640);
    ASSERT_EQ(symlink("a.txt", (rt + "/lib/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (rt + "/lib/dangling").c_str()), 0);
    const BundledRuntime runtime = writeRuntimeInstaller(rt, dir.file("install"));
    EXPECT_EQ(runtime.version, "17.0.2");
    const SString written = testkit::readFile(dir.file("install"));
    ASSERT_EQ(written.compare(0, runtime.installer.size(), runtime.installer), 0);
    const SString tar = gunzip(written.substr(runtime.installer.size()));

    struct Entry {
        SString name;
        char type;
        unsigned long mode, size;
        SString bytes;
    };
    std::vector<Entry> entries;
    for (size_t at = 0; at + 512 <= tar.size() && tar[at] != '\0';) {
        const char* header = tar.data() + at;
        Entry entry{header, header[156], field(header, 100, 8), field(header, 124, 12), ""};
        entry.bytes = tar.substr(at + 512, entry.size);
        entries.push_back(entry);
        at += 512 + (entry.size + 511) / 512 * 512;
    }
    std::vector<SString> names;
    for (const Entry& entry : entries) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<SString>{"bin/", "bin/java", "lib/", "lib/a.txt", "lib/link.txt",
                                           "release"}));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].type, '5');
    EXPECT_EQ(entries[1].mode, 0755u);
    EXPECT_EQ(entries[1].bytes, "#!/bin/sh\n");
    for (size_t i : {3, 4}) {
        EXPECT_EQ(entries[i].type, '0');
        EXPECT_EQ(entries[i].mode, 0640u);
        EXPECT_EQ(entries[i].bytes, "abc");
    }
    EXPECT_EQ(entries[5].mode, 0644u);
}

// A small runtime tree at `rt`: bin/java, release, lib/a.txt, a link to it, a dangling
// link and a link to a directory.
void makeRuntimeTree(const SString& rt) {
    testkit::writeFile(rt + "/bin/java", "#!/bin/sh\n", 0755);
    testkit::writeFile(rt + "/release", "JAVA_VERSION=\"17.0.2\"\n", 0644);
    testkit::writeFile(rt + "/lib/a.txt", "abc", 0640);
    ASSERT_EQ(symlink("a.txt", (rt + "/lib/link.txt").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (rt + "/lib/dangling").c_str()), 0);
    ASSERT_EQ(symlink("../bin", (rt + "/lib/dirlink").c_str()), 0);
}

// The archive the launcher installs, read back by the launcher's own reader.
TEST(RuntimeInstaller, TheLaunchersArchiveIsPlainUstarOfTheTreeWhateverItsTimes) {
    testkit::ScopedTempDir dir;
    const SString rt = dir.file("rt");
    makeRuntimeTree(rt);
    EXPECT_EQ(writeRuntimeArchive(rt, dir.file("rt.tar")), "17.0.2");
    const SString bytes = testkit::readFile(dir.file("rt.tar"));

    UniqueFd fd(open(dir.file("rt.tar").c_str(), O_RDONLY | O_CLOEXEC));
    UstarReader reader(fd.get(), 0, static_cast<long long>(bytes.size()));
    UstarEntry entry;
    std::vector<SString> names;
    std::map<SString, std::pair<unsigned, SString>> files;
    while (reader.next(entry)) {
        names.push_back(entry.name + (entry.isDirectory ? "/" : ""));
        files[entry.name] = {entry.mode, bytes.substr(static_cast<size_t>(entry.offset),
                                                      static_cast<size_t>(entry.size))};
    }
    EXPECT_EQ(names, (std::vector<SString>{"bin/", "bin/java", "lib/", "lib/a.txt", "lib/dirlink/",
                                           "lib/dirlink/java", "lib/link.txt", "release"}));
    EXPECT_EQ(files["bin/java"], std::make_pair(0755u, SString("#!/bin/sh\n")));
    EXPECT_EQ(files["lib/link.txt"], std::make_pair(0640u, SString("abc")));
    EXPECT_EQ(files["lib/dirlink/java"], files["bin/java"]);

    // Other times, the same bytes.
    struct timespec times[2] = {{1000000, 0}, {1000000, 0}};
    for (const char* name : {"", "/bin", "/bin/java", "/lib/a.txt"}) {
        ASSERT_EQ(utimensat(AT_FDCWD, (rt + name).c_str(), times, 0), 0);
    }
    writeRuntimeArchive(rt, dir.file("again.tar"));
    EXPECT_TRUE(testkit::readFile(dir.file("again.tar")) == bytes);
}

TEST(RuntimeInstaller, ALoopOrAFailedWriteLeavesNoArchive) {
    testkit::ScopedTempDir dir;
    const SString rt = dir.file("rt");
    makeRuntimeTree(rt);
    ASSERT_EQ(symlink("..", (rt + "/lib/loop").c_str()), 0);
    try {
        writeRuntimeArchive(rt, dir.file("rt.tar"));
        ADD_FAILURE() << "archived";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), rt + "/lib/loop: a link that leads back to a directory above "
                                       "it; the runtime cannot be archived");
    }
    EXPECT_FALSE(testkit::exists(dir.file("rt.tar")));

    unlink((rt + "/lib/loop").c_str());
    testkit::writeFile(rt + "/lib/big", SString(100000, 'b'));
    {
        testkit::ScopedFileSizeLimit limit(8192);
        EXPECT_THROW(writeRuntimeArchive(rt, dir.file("rt.tar")), LauncherException);
    }
    EXPECT_FALSE(testkit::exists(dir.file("rt.tar")));
}

}  // namespace
