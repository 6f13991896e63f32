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

// Puts the interruption handlers of the test process back when it goes out of scope.
class SavedHandlers {
public:
    SavedHandlers() {
        for (size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], nullptr, &m_saved[i]);
    }
    ~SavedHandlers() {
        for (size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &m_saved[i], nullptr);
    }

private:
    static constexpr size_t kCount = 5;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};
    struct sigaction m_saved[kCount];
};

TEST(StateReset, ForgetsAReceivedSignalAndWhatTheRunSet) {
    SavedHandlers handlers;
    testkit::LauncherState state("/opt/app/setup.bin");
    installSignalHandlers();
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_EQ(pendingSignal(), SIGTERM);
    EXPECT_THROW(PlatformImpl::checkInterrupted(), TerminationRequest);

    testkit::StateAccess::setTitle("App");
    testkit::StateAccess::setProgress(12);
    testkit::StateAccess::setLogFileInitialized(true);
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
