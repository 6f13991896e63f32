// The reset between launches in one process: whatever a run left behind, a received
// interruption signal included, is gone afterwards. Each test stands for a piece of state
// that a hand-kept list of resets once forgot: what a run learned about JVMs, the
// temporary directories it refused, the cache it opened.

#include <gtest/gtest.h>
#include <signal.h>

#include <sys/stat.h>

#include "base/RunState.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFiles.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/os/ProcessControl.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

TEST(StateReset, ForgetsAReceivedSignalAndWhatTheRunSet) {
    testkit::SavedSignalHandlers handlers;
    testkit::LauncherState state("/opt/app/setup.bin");
    installSignalHandlers();
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_EQ(pendingSignal(), SIGTERM);
    EXPECT_THROW(PlatformImpl::checkInterrupted(), TerminationRequest);

    testkit::StateAccess::setTitle("App");
    testkit::StateAccess::setProgress(12);
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("written", LOG_INFO);
    ASSERT_TRUE(testkit::StateAccess::logFileInitialized());
    Launcher::setStringVariable(3, "left over");
    Launcher::setLongVariable(2, 9);
    PlatformImpl::setUISubStatus(Searching, "somewhere");

    testkit::StateAccess::resetAll();
    EXPECT_EQ(pendingSignal(), 0);
    EXPECT_NO_THROW(PlatformImpl::checkInterrupted());
    EXPECT_EQ(testkit::StateAccess::title(), "");
    EXPECT_EQ(testkit::StateAccess::progress(), 0);
    EXPECT_FALSE(testkit::StateAccess::logFileInitialized());
    EXPECT_EQ(Launcher::getLauncherFileName(), "");
    EXPECT_EQ(Launcher::getStringVariable(3), "");
    EXPECT_EQ(Launcher::getLongVariable(2), 0);
    EXPECT_EQ(testkit::StateAccess::subStatus(), None);
    EXPECT_EQ(testkit::StateAccess::subStatusData(), "");
}

// A JVM asked once is not asked again in the same run; a new run asks it again.
TEST(StateReset, ANewRunVerifiesAgain) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::ScopedEnv noCache("QNLAUNCH_CACHE", "off");
    const testkit::StandInJvm jdk =
        testkit::StandInJvm::create(dir.file("jdk"), {{"java.version", "17.0.9"}});
    testkit::writeFile(dir.file("j.jvm"),
                       "DESC: J\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17+\n"
                       "PATH_HINT: " +
                           jdk.home + "\n");
    TagFile descriptor(dir.file("j.jvm"));
    const auto search = [&] {
        JVMFiles& files = testkit::StateAccess::inputFiles().m_jvmFiles;
        files.setVerifyClass("\"" + dir.file("verify.jar") + "\"", "\"Verify\"");
        if (files.getJVMFileCount() == 0) files.addJVMFile(std::make_unique<JVMFile>(descriptor));
        JVMMatchPtrDeque matches;
        files.search(matches);
        return matches.size();
    };
    EXPECT_EQ(search(), 1);
    EXPECT_EQ(search(), 1);
    EXPECT_EQ(jdk.callCount(), 1);
    testkit::StateAccess::resetAll();
    EXPECT_EQ(search(), 1);
    EXPECT_EQ(jdk.callCount(), 2);
}

// An unsafe temporary directory is reported once a run, and again in the next run.
TEST(StateReset, ANewRunReportsARefusedTemporaryDirectoryAgain) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::ScopedEnv tmpdir("TMPDIR", nullptr);
    testkit::makeDirs(dir.file("open"));
    ASSERT_EQ(chmod(dir.file("open").c_str(), 0777), 0);
    const auto run = [&] {
        Launcher::setLogFileName(dir.file("log"));
        PlatformImpl::setSystemTempDir(dir.file("open"));
        PlatformImpl::createTempFile();
        PlatformImpl::createTempFile();
        PlatformImpl::cleanup();
    };
    const SString refusal = "The temporary directory " + dir.file("open") + " is not used";
    const auto count = [&] {
        const SString log = testkit::readFile(dir.file("log"));
        size_t n = 0;
        for (size_t at = log.find(refusal); at != SString::npos; at = log.find(refusal, at + 1)) {
            ++n;
        }
        return n;
    };
    run();
    EXPECT_EQ(count(), 1u);
    testkit::StateAccess::resetAll();
    run();
    EXPECT_EQ(count(), 2u);
}

// The cache a run opened is not the next run's: it follows that run's settings.
TEST(StateReset, ANewRunOpensItsOwnCache) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    {
        testkit::ScopedEnv cache("QNLAUNCH_CACHE", dir.file("first").c_str());
        EXPECT_EQ(UserCache::directory(), dir.file("first"));
    }
    testkit::ScopedEnv cache("QNLAUNCH_CACHE", dir.file("second").c_str());
    EXPECT_EQ(UserCache::directory(), dir.file("first"));
    testkit::StateAccess::resetAll();
    EXPECT_EQ(UserCache::directory(), dir.file("second"));
}

// Every piece of state is registered: more than the pieces of the two modules alone.
TEST(StateReset, EveryPieceIsRegistered) {
    EXPECT_GE(RunStatePiece::count(), 30u);
}

}  // namespace
