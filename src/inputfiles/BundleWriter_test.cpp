// A bundle that cannot be written completely is taken away again, but only when it is a
// file the writer made: an output that is a device stays where it is.

#include "inputfiles/BundleWriter.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/LauncherException.h"
#include "support/TestKit.h"

namespace {

void expectWriteFails(const SString& stub, const SString& output, const SString& message) {
    try {
        BundleWriter::write(stub, {}, output);
        ADD_FAILURE() << "no failure writing " << output;
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), message);
    }
}

TEST(BundleWriter, AFailedWriteRemovesOnlyAFileItMade) {
    testkit::ScopedTempDir dir;
    testkit::writeFile(dir.file("stub"), SString(100000, 's'));
    // A device that refuses every write, as /dev/full does.
    const SString full = dir.file("full");
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "cannot make a device node here";
    }
    expectWriteFails(dir.file("stub"), full, full + ": cannot write: No space left on device");
    struct stat info;
    ASSERT_EQ(lstat(full.c_str(), &info), 0) << "the device was removed";
    EXPECT_TRUE(S_ISCHR(info.st_mode));

    // A regular file cut short by a file-size limit goes.
    const SString bundle = dir.file("bundle");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            BundleWriter::write(dir.file("stub"), {}, bundle);
        } catch (const LauncherException&) {
            _exit(access(bundle.c_str(), F_OK) == 0 ? 2 : 0);
        }
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
