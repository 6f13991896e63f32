// Class-data archives with the real JDKs on this machine (skipped for those missing): the
// second run maps the archive the first one made, as the JVM's own log shows, and no
// message of the JVM about the archive reaches the terminal, not even for one cut short.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"

using namespace testkit;
using e2e::Workspace;

namespace {

struct Jdk {
    const char* home;
    const char* release;
};
const Jdk kJdks[] = {{"/usr/lib/jvm/java-17-openjdk-amd64", "17"},
                     {"/usr/lib/jvm/temurin-25-jdk-amd64", "25"}};

SString helloJar() {
    SString path = verifyJarPath();
    return path.substr(0, path.rfind("/java/")) + "/examples/hello.jar";
}

SString classDataBundle(const Workspace& ws, const Jdk& jdk, const SString& javaOptions) {
    const SString launch =
        "DESC: Hello\nDISPLAY_CONSOLE: 1\nCLASS_DATA: 1\n"
        "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() " +
        javaOptions + " Hello\"\n";
    return BundleBuilder(ws.root())
        .add(FILE_TYPE_INSTRUCTIONS, "instructions.tag",
             e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"}))
        .add(FILE_TYPE_JVM, "jdk.jvm",
             e2e::descriptor("JDK", {SString("java.version=") + jdk.release + "..."}, {jdk.home}))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", launch)
        .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
        .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, helloJar())
        .write(ws.file("hello.bin"));
}

// The archive file the cache holds for the one command run.
SString archiveIn(const SString& cache) {
    const std::vector<SString> entries = listDir(cache + "/classdata");
    return entries.size() == 1 ? cache + "/classdata/" + entries[0] + "/app.jsa" : SString();
}

bool hasArchiveMessage(const SString& output) {
    return output.find("[warning]") != SString::npos || output.find("[error") != SString::npos;
}

#define REQUIRE_JDK(jdk)                                                \
    if (access((SString(jdk.home) + "/bin/java").c_str(), X_OK) != 0) { \
        std::cout << "skipping " << jdk.home << ": not installed\n";    \
        continue;                                                       \
    }                                                                   \
    if (!exists(helloJar())) GTEST_SKIP() << "the demo's hello.jar was not built"

}  // namespace

TEST(ClassData, TheSecondRunMapsTheArchiveOfTheFirst) {
    for (const Jdk& jdk : kJdks) {
        REQUIRE_JDK(jdk);
        Workspace ws;
        const SString bundle = classDataBundle(ws, jdk, "-Xlog:cds");
        const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};
        RunResult first = ws.run(bundle, {}, env);
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_NE(first.out.find("Hello from a qnlaunch bundle!"), SString::npos) << first.out;
        EXPECT_FALSE(hasArchiveMessage(first.out + first.err)) << jdk.home << first.out;
        const SString archive = archiveIn(ws.file("cache"));
        ASSERT_TRUE(exists(archive)) << jdk.home << "\n" << ws.logText();

        unlink(ws.log().c_str());
        RunResult second = ws.run(bundle, {}, env);
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_NE(second.out.find("Hello from a qnlaunch bundle!"), SString::npos);
        // The JVM's own account: the archive made by the first run, mapped.
        EXPECT_NE(second.out.find(archive), SString::npos) << jdk.home << "\n" << second.out;
        EXPECT_NE(second.out.find("Mapped dynamic region"), SString::npos) << jdk.home << "\n"
                                                                           << second.out;
        EXPECT_FALSE(hasArchiveMessage(second.out + second.err)) << jdk.home << second.out;
        EXPECT_NE(ws.logText().find("Using the class-data archive " + archive), SString::npos)
            << ws.logText();
        EXPECT_TRUE(ws.leftovers().empty());
    }
}

TEST(ClassData, AnArchiveCutShortIsMadeAgainWithoutAWordOnTheTerminal) {
    for (const Jdk& jdk : kJdks) {
        REQUIRE_JDK(jdk);
        Workspace ws;
        const SString bundle = classDataBundle(ws, jdk, "");
        const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};
        RunResult r = ws.run(bundle, {}, env);
        ASSERT_EQ(r.status, 0) << r.err;
        const SString archive = archiveIn(ws.file("cache"));
        const off_t whole = static_cast<off_t>(readFile(archive).size());
        ASSERT_GT(whole, 8192) << jdk.home;
        ASSERT_EQ(truncate(archive.c_str(), whole / 2), 0);

        for (int run = 0; run < 2; ++run) {
            r = ws.run(bundle, {"-qn:silent"}, env);
            ASSERT_EQ(r.status, 0) << r.err;
            // Nothing but the application's own output.
            EXPECT_EQ(r.out.compare(0, 29, "Hello from a qnlaunch bundle!"), 0)
                << jdk.home << " run " << run << "\n"
                << r.out;
            EXPECT_EQ(r.out.find('['), SString::npos) << jdk.home << "\n" << r.out;
            EXPECT_EQ(r.err, "") << jdk.home;
        }
        EXPECT_GT(static_cast<off_t>(readFile(archive).size()), whole / 2) << jdk.home;

        // A class-path archive that is not the one the archive was made with (a new
        // modification time) makes the JVM refuse it: it is made again, quietly.
        for (const SString& group : listDir(ws.file("cache/archives"))) {
            const SString jar = ws.file("cache/archives/" + group + "/files/hello.jar");
            if (exists(jar)) {
                ASSERT_EQ(utimensat(AT_FDCWD, jar.c_str(), nullptr, 0), 0);
            }
        }
        for (int run = 0; run < 2; ++run) {
            unlink(ws.log().c_str());
            r = ws.run(bundle, {"-qn:silent"}, env);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out.find('['), SString::npos) << jdk.home << "\n" << r.out;
            EXPECT_EQ(r.err, "") << jdk.home;
        }
        EXPECT_TRUE(exists(archive)) << jdk.home;
    }
}
