// The application archive named beside the launcher: copied whole into a temporary
// directory of the run, or not at all, and a failed write said as extraction says it.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "base/LauncherException.h"
#include "launcher/Launcher.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

class NamedArchive : public ::testing::Test {
protected:
    void SetUp() override {
        testkit::StateAccess::setOriginalLauncherFile(dir.file("app/setup.bin"));
    }

    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::ScopedEnv tmp{"TMPDIR", dir.path().c_str()};
};

TEST_F(NamedArchive, ALargeArchiveArrivesWholeOnceARun) {
    testkit::writeFile(dir.file("app/lib/big.jar"), testkit::patternBytes(300001));
    const SString copy = Launcher::getApplicationArchive("lib/big.jar");
    EXPECT_EQ(copy.substr(copy.size() - 8), "/big.jar");
    EXPECT_EQ(testkit::readFile(copy), testkit::patternBytes(300001));
    // Asked again, with another name too, the run keeps its first copy.
    EXPECT_EQ(Launcher::getApplicationArchive("other.jar"), copy);
}

TEST_F(NamedArchive, AMissingArchiveOrADirectoryGivesNone) {
    testkit::makeDirs(dir.file("app/classes.jar"));
    EXPECT_EQ(Launcher::getApplicationArchive("missing.jar"), "");
    EXPECT_EQ(Launcher::getApplicationArchive("classes.jar"), "");
}

TEST_F(NamedArchive, AFailedWriteGivesTheErrorNumberAndTheSpaceHint) {
    testkit::writeFile(dir.file("app/big.jar"), testkit::patternBytes(70000));
    // A file too large to be written; the limit stands in for a full disk.
    SString message = "no failure";
    {
        testkit::ScopedFileSizeLimit limit(4096);
        try {
            Launcher::getApplicationArchive("big.jar");
        } catch (const LauncherException& e) {
            message = e.getMessage();
        }
    }
    EXPECT_EQ(message, "Error writing file = " + std::to_string(EFBIG) +
                           " There may not be enough temporary disk space. Try using "
                           "-qn:tempdir to use a temporary directory on a partition with "
                           "more disk space.");
}

}  // namespace
