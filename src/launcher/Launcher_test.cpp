#include "launcher/Launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "base/LauncherException.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

const SString kSeparator = "------------------\n";

TEST(LauncherLog, SeparatorOnceThenOnePrefixedLinePerMessage) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("abc", LOG_WARNING);
    Launcher::logMessage(SString("abc"), LOG_ERROR);
    Launcher::logMessage("abc", LOG_INFO);
    Launcher::logMessage("other type", static_cast<LogMessageType>(7));
    Launcher::logMessage("100%s %d", LOG_INFO);
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              kSeparator + "WARNING: abc\nERROR: abc\nabc\nother type\n100%s %d\n");
}

TEST(LauncherLog, AppendsToAnExistingFileAndEachProcessAddsASeparator) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::writeFile(dir.file("log"), "earlier run\n");
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("first", LOG_INFO);
    EXPECT_EQ(testkit::readFile(dir.file("log")), "earlier run\n" + kSeparator + "first\n");
    // A new process starts with the separator not yet written.
    testkit::StateAccess::resetAll();
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("second", LOG_INFO);
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              "earlier run\n" + kSeparator + "first\n" + kSeparator + "second\n");
}

TEST(LauncherLog, WithoutANameNothingIsWritten) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    Launcher::logMessage("nowhere", LOG_ERROR);
    EXPECT_TRUE(testkit::listDir(dir.path()).empty());
    EXPECT_FALSE(testkit::StateAccess::logFileInitialized());

    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("one", LOG_INFO);
    Launcher::setLogFileName("");
    Launcher::logMessage("dropped", LOG_INFO);
    EXPECT_EQ(testkit::readFile(dir.file("log")), kSeparator + "one\n");
    EXPECT_EQ(testkit::listDir(dir.path()), (std::vector<SString>{"log"}));
}

TEST(LauncherLog, RenamedLogGetsNoSecondSeparator) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("first.log"));
    Launcher::logMessage("one", LOG_INFO);
    Launcher::setLogFileName(dir.file("second.log"));
    EXPECT_TRUE(testkit::StateAccess::logFileInitialized());
    Launcher::logMessage("two", LOG_WARNING);
    EXPECT_EQ(testkit::readFile(dir.file("first.log")), kSeparator + "one\n");
    EXPECT_EQ(testkit::readFile(dir.file("second.log")), "WARNING: two\n");
}

TEST(LauncherLog, UnopenableFileWarnsOnceAndKeepsTheSeparatorForLater) {
    testkit::LauncherState state(SString(), false);
    testkit::ScopedTempDir dir;
    testkit::writeFile(dir.file("plain"), "x");
    // A named pipe that no one reads must not hold the launcher up.
    ASSERT_EQ(0, mkfifo(dir.file("fifo").c_str(), 0600));
    const std::vector<SString> names = {dir.file("missing/log"), dir.file("plain/log"), dir.path(),
                                        dir.file("fifo")};
    testkit::StdoutCapture errors(2);
    for (int round = 0; round < 2; ++round) {
        for (const SString& name : names) {
            Launcher::setLogFileName(name);
            Launcher::logMessage("lost", LOG_ERROR);
            Launcher::logMessage("lost again", LOG_INFO);
        }
    }
    const std::vector<SString> lines = testkit::splitLines(errors.finish());
    EXPECT_EQ(
        lines,
        (std::vector<SString>{
            "qnlaunch: The log file " + names[0] + " cannot be written: No such file or directory",
            "qnlaunch: The log file " + names[1] + " cannot be written: Not a directory",
            "qnlaunch: The log file " + names[2] + " cannot be written: Is a directory",
            "qnlaunch: The log file " + names[3] +
                " cannot be written: No such device or address"}));
    EXPECT_FALSE(testkit::StateAccess::logFileInitialized());
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("kept", LOG_ERROR);
    EXPECT_EQ(testkit::readFile(dir.file("log")), kSeparator + "ERROR: kept\n");
}

TEST(LauncherLog, SilentRunsSayNothingAboutAnUnopenableLog) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    testkit::StdoutCapture errors(2);
    Launcher::setLogFileName(dir.file("missing/log"));
    Launcher::logMessage("lost", LOG_ERROR);
    EXPECT_EQ(errors.finish(), "");
}

TEST(LauncherLog, MultiLineMessageIsWrittenUnchanged) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    Launcher::setLogFileName(dir.file("log"));
    Launcher::logMessage("file type: 1\n  file id: 2\n", LOG_WARNING);
    EXPECT_EQ(testkit::readFile(dir.file("log")),
              kSeparator + "WARNING: file type: 1\n  file id: 2\n\n");
}

SString variableFailure(void (*access)(long), long n) {
    try {
        access(n);
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
    return "no failure";
}

TEST(LauncherVariables, ValidNumbersHoldTheirOwnValues) {
    testkit::LauncherState state;
    for (long n = 1; n <= 10; ++n) Launcher::setStringVariable(n, "s" + std::to_string(n));
    for (long n = 1; n <= 5; ++n) Launcher::setLongVariable(n, -n);
    for (long n = 1; n <= 10; ++n)
        EXPECT_EQ(Launcher::getStringVariable(n), "s" + std::to_string(n));
    for (long n = 1; n <= 5; ++n) EXPECT_EQ(Launcher::getLongVariable(n), -n);
    EXPECT_EQ(testkit::StateAccess::stringVariables()[0], "s1");
    EXPECT_EQ(testkit::StateAccess::numericVariables()[4], -5);
}

TEST(LauncherVariables, StartEmptyAndZero) {
    testkit::LauncherState state;
    EXPECT_EQ(Launcher::getStringVariable(10), "");
    EXPECT_EQ(Launcher::getLongVariable(5), 0);
}

TEST(LauncherVariables, InvalidNumbersAreRejectedWithTheirNumber) {
    testkit::LauncherState state;
    Launcher::setStringVariable(1, "kept");
    Launcher::setLongVariable(1, 42);
    for (long n : {0L, -1L, 11L, 1000L}) {
        const SString text = "Invalid string variable number: " + std::to_string(n);
        EXPECT_FALSE(Launcher::isValidStringVariable(n));
        EXPECT_EQ(variableFailure([](long k) { Launcher::setStringVariable(k, "x"); }, n), text);
        EXPECT_EQ(variableFailure([](long k) { Launcher::getStringVariable(k); }, n), text);
    }
    for (long n : {0L, -3L, 6L, 10L}) {
        const SString text = "Invalid numeric variable number: " + std::to_string(n);
        EXPECT_FALSE(Launcher::isValidLongVariable(n));
        EXPECT_EQ(variableFailure([](long k) { Launcher::setLongVariable(k, 7); }, n), text);
        EXPECT_EQ(variableFailure([](long k) { Launcher::getLongVariable(k); }, n), text);
    }
    EXPECT_EQ(Launcher::getStringVariable(1), "kept");
    EXPECT_EQ(Launcher::getLongVariable(1), 42);
    for (const SString& s : testkit::StateAccess::stringVariables()) EXPECT_NE(s, "x");
    for (long v : testkit::StateAccess::numericVariables()) EXPECT_NE(v, 7);
}

// The launcher's paths reach the layers below through the context the input files hand
// down: the running launcher's directory for launches, the started one's for its files.
TEST(LauncherPaths, TheContextCarriesBothLaunchersAndTheirDirectories) {
    testkit::LauncherState state("/elsewhere/launcher");
    testkit::StateAccess::setOriginalLauncherFile("/opt/app/setup.bin");
    const BundleContext& context = testkit::StateAccess::inputFiles().context();
    EXPECT_EQ(context.launcherFile, "/elsewhere/launcher");
    EXPECT_EQ(context.launcherDirectory(), "/elsewhere");
    EXPECT_EQ(context.originalLauncherFile, "/opt/app/setup.bin");
    EXPECT_EQ(context.originalLauncherDirectory(), "/opt/app");
    EXPECT_EQ(Launcher::getLauncherFileName(), "/elsewhere/launcher");
    EXPECT_EQ(Launcher::getOriginalLauncherFileName(), "/opt/app/setup.bin");
    EXPECT_NE(context.runtimeFiles, nullptr);
    EXPECT_NE(context.applicationArchive, nullptr);
}

}  // namespace
