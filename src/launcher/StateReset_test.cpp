// The reset between launches in one process: whatever a run left behind, a received
// interruption signal included, is gone afterwards.

#include <gtest/gtest.h>
#include <signal.h>

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/ProcessControl.h"
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

}  // namespace
