// What decides whether a launch gets class-data options, and which ones.

#include "launch/ClassDataArchive.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "launcher/Launcher.h"
#include "platform/cache/UserCache.h"
#include "support/TestKit.h"

using testkit::ScopedEnv;
using testkit::writeFile;

TEST(HotSpotRelease, ReadsTheReleaseFile) {
    testkit::ScopedTempDir dir;
    struct Case {
        const char* release;
        int expected;
    };
    for (const Case& c : {Case{"JAVA_VERSION=\"17.0.15\"\nIMPLEMENTOR=\"Debian\"\n", 17},
                          Case{"JVM_VARIANT=\"Hotspot\"\nJAVA_VERSION=\"25.0.3\"\n", 25},
                          Case{"JAVA_VERSION=\"1.8.0_402\"\n", 8},
                          Case{"JAVA_VERSION=\"21\"\nJVM_VARIANT=\"Openj9\"\n", 0},
                          Case{"JAVA_VERSION_DATE=\"2025-04-15\"\n", 0}}) {
        writeFile(dir.file("release"), c.release);
        EXPECT_EQ(hotSpotRelease(dir.path()), c.expected) << c.release;
    }
    EXPECT_EQ(hotSpotRelease(dir.file("missing")), 0);
}

TEST(FirstShellWord, UnquotesThePlainFirstWord) {
    struct Case {
        const char* command;
        const char* word;  // null: not a plain word
        size_t end;
    };
    for (const Case& c :
         {Case{"\"/opt/my jdk/bin/java\" -cp a Main", "/opt/my jdk/bin/java", 22},
          Case{"  /jdk/bin/java", "/jdk/bin/java", 15},
          Case{"'/jdk/bin/ja'\"va\" x", "/jdk/bin/java", 17},
          Case{"/my\\ jdk/java x", "/my jdk/java", 13},
          Case{"\"$JAVA_HOME/bin/java\" x", nullptr, 0}, Case{"A=1 java", nullptr, 0},
          Case{"(java)", nullptr, 0}, Case{"\"unclosed", nullptr, 0}, Case{"", nullptr, 0}}) {
        SString word;
        const size_t end = firstShellWord(c.command, word);
        if (!c.word) {
            EXPECT_EQ(end, SString::npos) << c.command;
            continue;
        }
        EXPECT_EQ(word, c.word) << c.command;
        EXPECT_EQ(end, c.end) << c.command;
    }
}

TEST(ClassDataArchive, CommandsThatCannotBeArchivedStayAsTheyAre) {
    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
    ScopedEnv cache("QNLAUNCH_CACHE", dir.file("cache").c_str());
    RunStatePiece::resetAll();
    writeFile(dir.file("jdk/bin/java"), "#!/bin/sh\n", 0755);
    writeFile(dir.file("app.jar"), "jar");
    testkit::makeDirs(dir.file("classes"));
    const SString java = "\"" + dir.file("jdk/bin/java") + "\"";
    const SString jar = dir.file("app.jar");
    auto applied = [&](const char* release, const SString& text) {
        writeFile(dir.file("jdk/release"), release);
        ClassDataArchive archive;
        return archive.apply(dir.file("jdk"), "bin/java", text, false);
    };
    const char* const jdk25 = "JAVA_VERSION=\"25.0.3\"\n";
    for (const SString& command :
         {java + " -cp app.jar Main", java + " -cp " + dir.file("classes") + " Main",
          java + " -cp " + jar + ":lib/* Main", java + " -cp " + jar + " -m app/app.Main",
          java + " -cp " + jar + " -XX:SharedArchiveFile=/mine.jsa Main",
          java + " -Xshare:off -cp " + jar + " Main", "/usr/bin/env " + java + " -cp " + jar,
          java + " -cp \"$HOME/app.jar\" Main"}) {
        EXPECT_EQ(applied(jdk25, command), command);
    }
    const SString good = java + " -cp " + jar + " Main";
    for (const char* release :
         {"JAVA_VERSION=\"11.0.2\"\n", "JAVA_VERSION=\"21\"\nJVM_VARIANT=\"Openj9\"\n"}) {
        EXPECT_EQ(applied(release, good), good) << release;
    }
    // A program whose path the shell would read as an assignment (the launcher starts it
    // as it is): its options would have no safe place.
    writeFile(dir.file("j=dk/bin/java"), "#!/bin/sh\n", 0755);
    writeFile(dir.file("j=dk/release"), jdk25);
    const SString odd = dir.file("j=dk/bin/java") + " -cp " + jar + " Main";
    ClassDataArchive archive;
    EXPECT_EQ(archive.apply(dir.file("j=dk"), "bin/java", odd, false), odd);
    // Without a cache nothing is kept, so nothing is recorded.
    ScopedEnv off("QNLAUNCH_CACHE", "off");
    RunStatePiece::resetAll();
    EXPECT_EQ(applied(jdk25, good), good);
    RunStatePiece::resetAll();
}
