// Class-data archives with the real JDKs on this machine (skipped for those missing): the
// first run records its classes, the background job makes a static archive, the next run
// maps it, as the JVM's own log shows; an archive the JVM refuses or crashes on is made
// again, and no message of the JVM about an archive reaches the terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/os/FileIdentity.h"

using namespace testkit;
using e2e::Workspace;

namespace {

struct Jdk {
    const char* home;
    int release;
};
const Jdk kJdks[] = {{"/usr/lib/jvm/java-17-openjdk-amd64", 17},
                     {"/usr/lib/jvm/temurin-25-jdk-amd64", 25}};

bool installed(const Jdk& jdk) {
    return access((SString(jdk.home) + "/bin/java").c_str(), X_OK) == 0;
}

SString helloJar() {
    SString path = verifyJarPath();
    return path.substr(0, path.rfind("/java/")) + "/examples/hello.jar";
}

// A bundle of the demo's class on `jdk`, with the JVM options `javaOptions` of its own.
struct JdkBundle {
    JdkBundle(const Jdk& jdk, const SString& javaOptions) : jdk(jdk) {
        const SString launch =
            "DESC: Hello\nDISPLAY_CONSOLE: 1\nCLASS_DATA: 1\n"
            "COMMAND: \"\"\"@JVM_HOME@/@JVM_EXE@\"\" %CP%() " +
            javaOptions + " Hello\"\n";
        bundle =
            BundleBuilder(ws.root())
                .add(
                    FILE_TYPE_INSTRUCTIONS, "instructions.tag",
                    e2e::instructions({"FIND_JVM 0 0", "JMP0 @N1@ none", "LAUNCH @S2@ 0", ":none"}))
                .add(FILE_TYPE_JVM, "jdk.jvm",
                     e2e::descriptor("JDK", {"java.version=" + std::to_string(jdk.release) + "..."},
                                     {jdk.home}))
                .add(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", launch)
                .addFile(FILE_TYPE_VERIFY_ARCHIVE, verifyJarPath())
                .addFile(FILE_TYPE_CLASSPATH_ARCHIVE, helloJar())
                .write(ws.file("hello.bin"));
        quiet = e2e::machineWithLoad(ws, "0.00");
        makeDirs(ws.file("work"));
    }
    RunResult run(const std::vector<SString>& args = {}) {
        unlink(ws.log().c_str());
        return ws.run(bundle, args, {{"QNLAUNCH_CACHE", ws.file("cache")}}, ws.file("work"),
                      &quiet);
    }
    SString entry() const {
        const std::vector<SString> entries = listDir(ws.file("cache/classdata"));
        return entries.size() == 1 ? ws.file("cache/classdata/" + entries[0]) : SString();
    }
    SString archive() const { return entry() + "/app.jsa"; }
    // Waits for the background job; whether it left an archive.
    bool archiveMade() const {
        EXPECT_TRUE(e2e::waitUntilNoneRuns(bundle, 240));
        return !entry().empty() && exists(entry() + "/app.jsa.id");
    }

    Jdk jdk;
    Workspace ws;
    SString bundle;
    MountPlan quiet;
};

bool hasArchiveMessage(const SString& output) {
    return output.find("[warning]") != SString::npos || output.find("[error") != SString::npos;
}

const char* const kHello = "Hello from a qnlaunch bundle!";

// Puts `bytes` in place of the archive with a stamp that fits them, as if made so.
void forgeArchive(const JdkBundle& b, const SString& bytes) {
    const SString stamp = readFile(b.entry() + "/app.jsa.id");
    const size_t keyLine = stamp.find('\n');
    const size_t keyEnd = stamp.find('\n', keyLine + 1);
    writeFile(b.archive(), bytes);
    writeFile(b.entry() + "/app.jsa.id",
              fileIdentity(b.archive(), true) + stamp.substr(keyLine, keyEnd - keyLine));
}

}  // namespace

TEST(ClassData, TheJobsStaticArchiveIsMappedByTheNextRun) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    if (!exists(helloJar())) GTEST_SKIP() << "the demo's hello.jar was not built";
    for (const Jdk& jdk : kJdks) {
        if (!installed(jdk)) continue;
        // The application's own logging, after the launcher's options, shows the archive.
        JdkBundle b(jdk, jdk.release >= 25 ? "-Xlog:cds -Xlog:aot" : "-Xlog:cds");
        RunResult first = b.run();
        ASSERT_EQ(first.status, 0) << first.err;
        EXPECT_NE(first.out.find(kHello), SString::npos) << first.out;
        EXPECT_FALSE(hasArchiveMessage(first.out + first.err)) << jdk.home << first.out;
        EXPECT_NE(b.ws.logText().find("Recording the classes"), SString::npos);
        ASSERT_TRUE(b.archiveMade()) << jdk.home;

        RunResult second = b.run();
        ASSERT_EQ(second.status, 0) << second.err;
        EXPECT_NE(second.out.find(kHello), SString::npos);
        EXPECT_NE(second.out.find(b.archive()), SString::npos) << jdk.home << "\n" << second.out;
        EXPECT_NE(second.out.find("Mapped static  region"), SString::npos) << second.out;
        if (jdk.release >= 25) {
            EXPECT_NE(second.out.find("Using AOT-linked classes: true"), SString::npos)
                << second.out;
        }
        EXPECT_FALSE(hasArchiveMessage(second.out + second.err)) << jdk.home << second.out;
        EXPECT_NE(b.ws.logText().find("Using the class-data archive " + b.archive()),
                  SString::npos);
        EXPECT_TRUE(b.ws.leftovers().empty());
    }
}

TEST(ClassData, AnotherJvmsArchiveIsRefusedQuietlyAndMadeAgain) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    if (!installed(kJdks[0]) || !installed(kJdks[1])) GTEST_SKIP() << "needs JDK 17 and 25";
    if (!exists(helloJar())) GTEST_SKIP() << "the demo's hello.jar was not built";
    JdkBundle b17(kJdks[0], ""), b25(kJdks[1], "");
    for (JdkBundle* b : {&b17, &b25}) {
        ASSERT_EQ(b->run().status, 0);
        ASSERT_TRUE(b->archiveMade()) << b->jdk.home;
    }
    const SString archive17 = readFile(b17.archive());
    forgeArchive(b17, readFile(b25.archive()));
    forgeArchive(b25, archive17);
    for (JdkBundle* b : {&b17, &b25}) {
        RunResult r = b->run({"-qn:silent"});
        ASSERT_EQ(r.status, 0) << r.err;
        // Nothing but the application's own output.
        EXPECT_EQ(r.out.compare(0, 29, kHello), 0) << b->jdk.home << "\n" << r.out;
        EXPECT_EQ(r.out.find('['), SString::npos) << b->jdk.home << "\n" << r.out;
        EXPECT_EQ(r.err, "") << b->jdk.home;
        EXPECT_NE(b->ws.logText().find("the JVM refused it"), SString::npos) << b->jdk.home;
        EXPECT_FALSE(exists(b->archive()));
        // Recorded again, made again, mapped again.
        ASSERT_EQ(b->run().status, 0);
        ASSERT_TRUE(b->archiveMade()) << b->jdk.home;
        r = b->run();
        EXPECT_NE(b->ws.logText().find("Using the class-data archive"), SString::npos);
        EXPECT_EQ(r.out.find('['), SString::npos) << b->jdk.home << "\n" << r.out;
    }
}

TEST(ClassData, AnArchiveTheJvmCrashesOnGoesAndIsMadeAgain) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    if (!exists(helloJar())) GTEST_SKIP() << "the demo's hello.jar was not built";
    for (const Jdk& jdk : kJdks) {
        if (!installed(jdk)) continue;
        JdkBundle b(jdk, "");
        ASSERT_EQ(b.run().status, 0);
        ASSERT_TRUE(b.archiveMade()) << jdk.home;
        // 16 KiB of other bytes in the middle, with a stamp that fits: the JVMs crash.
        SString bytes = readFile(b.archive());
        ASSERT_GT(bytes.size(), 1u << 20);
        for (size_t i = 0; i < 16384; ++i) bytes[bytes.size() / 2 + i] = static_cast<char>(i * 7);
        forgeArchive(b, bytes);
        RunResult r = b.run();
        if (r.status == 0) {
            // This JVM survived it: then it must have refused it.
            EXPECT_NE(b.ws.logText().find("refused"), SString::npos) << jdk.home;
        } else {
            EXPECT_EQ(r.status, 134) << jdk.home << r.out;
            EXPECT_NE(b.ws.logText().find("the JVM crashed with it"), SString::npos) << jdk.home;
        }
        EXPECT_FALSE(exists(b.archive())) << jdk.home;
        ASSERT_EQ(b.run().status, 0);
        EXPECT_TRUE(b.archiveMade()) << jdk.home;
    }
}

// The options a class-data run adds hold no pattern a shell would expand: the command starts
// the JVM directly, so it takes as many arguments as `java` does, a file in the working
// directory that looks like one of the options changes nothing, and the recording run and
// the run that maps the archive both get every argument.
TEST(ClassData, RunsTakeTwoMegabytesOfArgumentsAndNoShellExpandsTheirOptions) {
    REQUIRE_NATIVE_JOB();
    REQUIRE_PRIVATE_MOUNTS();
    if (!exists(helloJar())) GTEST_SKIP() << "the demo's hello.jar was not built";
    if (!installed(kJdks[0])) GTEST_SKIP() << "needs JDK 17";
    JdkBundle b(kJdks[0], "");
    writeFile(b.ws.file("work/-Xlog:cds-notes.txt=off"), "");
    std::vector<SString> args;
    for (int i = 0; i < 1900; ++i) args.push_back(SString(999, static_cast<char>('a' + i % 26)));
    for (int round = 0; round < 2; ++round) {
        RunResult r = b.run(args);
        ASSERT_EQ(r.status, 0) << r.out.substr(0, 500) << r.err.substr(0, 500);
        EXPECT_NE(r.out.find("Arguments: 1900\n"), SString::npos) << r.out.substr(0, 500);
        EXPECT_NE(r.out.find("  " + args.back() + "\n"), SString::npos);
        EXPECT_EQ(b.ws.logText().find("/bin/sh"), SString::npos) << b.ws.logText();
        if (round == 0) {
            ASSERT_TRUE(b.archiveMade());
        }
    }
    EXPECT_NE(b.ws.logText().find("Using the class-data archive " + b.archive()), SString::npos)
        << b.ws.logText();
}
