#include "qnpack/RuntimeInstaller.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/LauncherException.h"
#include "support/TestKit.h"

namespace {

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

}  // namespace
