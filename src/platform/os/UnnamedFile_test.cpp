#include "platform/os/UnnamedFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "support/TestKit.h"

using testkit::listDir;
using testkit::readFile;

TEST(UnnamedFile, IsNamedOnlyWhenWholeAndLeavesNothingOtherwise) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    {
        const UnnamedFile file = UnnamedFile::create(dir.path());
        ASSERT_TRUE(file.valid()) << "O_TMPFILE on /tmp";
        ASSERT_TRUE(file.write("partial"));
        EXPECT_EQ(file.size(), 7);
        EXPECT_TRUE(listDir(dir.path()).empty());
    }
    // Gone with its descriptor.
    EXPECT_TRUE(listDir(dir.path()).empty());

    testkit::writeFile(dir.file("name"), "old");
    const UnnamedFile file = UnnamedFile::create(dir.path());
    ASSERT_TRUE(file.write("new content"));
    ASSERT_TRUE(file.publish(dir.path(), "name", 0640));
    EXPECT_EQ(readFile(dir.file("name")), "new content");
    EXPECT_EQ(testkit::permissions(dir.file("name")), 0640u);
    EXPECT_EQ(listDir(dir.path()), std::vector<SString>{"name"});
    EXPECT_EQ(file.identity(), fileIdentity(dir.file("name"), true));
    // Named into a directory of another file system: refused, nothing left.
    EXPECT_FALSE(file.publish("/proc", "name", 0600));
    EXPECT_FALSE(UnnamedFile::create(dir.file("missing")).valid());
}

TEST(UnnamedFile, AChildReachesItByItsProcName) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    const UnnamedFile file = UnnamedFile::create(dir.path());
    ASSERT_TRUE(file.valid());
    ChildLimits limits;
    limits.inheritedFds = {file.fd()};
    SString out;
    const int status = PlatformImpl::executeArguments(
        {"/bin/sh", "-c", "printf 'from the child' > " + file.procPath()}, SString(), true, &out,
        nullptr, limits);
    EXPECT_EQ(status, 0) << out;
    SString content;
    ASSERT_TRUE(file.readStart(100, content));
    EXPECT_EQ(content, "from the child");
    // Not inherited unless asked for.
    const int refused = PlatformImpl::executeArguments(
        {"/bin/sh", "-c", "printf x > " + file.procPath()}, SString(), true, nullptr, nullptr);
    EXPECT_NE(refused, 0);
}
