// Reading what the JVMs log about an archive: the lines below are what OpenJDK 17 and
// Temurin 25 wrote at info level in the refusals and uses of bench/archive_refusals.sh.

#include "launch/ArchiveLog.h"

#include <gtest/gtest.h>
#include <signal.h>

TEST(ArchiveLog, OptionsFollowTheReleaseAndNeedNoShell) {
    EXPECT_EQ(archiveLogOptions(17, "/proc/self/fd/6"),
              "-Xlog:cds=off,cds+dynamic=off,class+path=off "
              "-Xlog:cds=info,cds+dynamic=info,class+path=info:file=/proc/self/fd/6::filecount=0");
    // 24 lacks nothing of 17's tags; whether it knows aot is not known, and an unknown tag
    // stops the JVM.
    EXPECT_EQ(archiveLogOptions(24, ""), "-Xlog:cds=off,cds+dynamic=off,class+path=off");
    EXPECT_EQ(archiveLogOptions(25, "F"),
              "-Xlog:cds=off,cds+dynamic=off,class+path=off,aot=off "
              "-Xlog:cds=info,cds+dynamic=info,class+path=info,aot=info:file=F::filecount=0");
    EXPECT_EQ(archiveLogOptions(25, "F").find('*'), SString::npos);
}

TEST(ArchiveLog, RefusalsAndUsesAreTold) {
    struct Case {
        const char* jvm;
        const char* log;
        bool refused;
        bool inUse;
    };
    const Case cases[] = {
        {"17, a jar touched",
         "[info][cds       ] Opened archive /c/app.jsa.\n"
         "[info][cds       ] UseSharedSpaces: A jar file is not the one used while building the "
         "shared archive file: /c/js.jar\n"
         "[info][cds       ] UseSharedSpaces: Unable to map shared spaces\n",
         true, false},
        {"17, 25's archive",
         "[info][cds       ] Opened archive /c/app.jsa.\n[info][cds       ] _version expected: "
         "11\n[info][cds       ] UseSharedSpaces: The shared archive file has the wrong version.\n",
         true, false},
        {"17, missing",
         "[info][cds] UseSharedSpaces: Specified shared archive not found (/a).\n"
         "[info][cds] UseSharedSpaces: Unable to map shared spaces\n",
         true, false},
        {"25, 17's archive",
         "[warning][cds] Cannot handle shared archive file version 0xb. Must be at least 0xd.\n"
         "[error  ][cds] Not a valid shared archive file (/c/app.jsa)\n",
         true, false},
        {"25, a jar touched",
         "[info][cds] Opened shared archive file /c/app.jsa.\n[error  ][cds       ] shared class "
         "paths mismatch\n",
         true, false},
        {"25, cut short", "[warning][cds] The shared archive file has been truncated.\n", true,
         false},
        {"25, damaged, checked", "[warning][cds] Checksum verification failed.\n", true, false},
        {"17, in use",
         "[info][cds       ] Opened archive /c/app.jsa.\n[info][class,path] ok\n"
         "[info][cds       ] full module graph: enabled\n",
         false, true},
        {"25, in use",
         "[info][cds] Opened shared archive file /c/app.jsa.\n[info][class,path] Archived app "
         "classpath validation: passed\n[info][aot] Using AOT-linked classes: true\n",
         false, true},
        {"nothing logged (the JVM never got so far)", "", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(logShowsRefusal(c.log), c.refused) << c.jvm;
        EXPECT_EQ(logShowsArchiveInUse(c.log), c.inUse) << c.jvm;
    }
}

TEST(ArchiveLog, CrashesAreTheEndsADamagedArchiveGives) {
    auto exited = [](int code) { return code << 8; };
    EXPECT_TRUE(endedByCrash(exited(134)));
    EXPECT_TRUE(endedByCrash(SIGSEGV));
    EXPECT_TRUE(endedByCrash(SIGBUS));
    EXPECT_TRUE(endedByCrash(SIGABRT));
    EXPECT_FALSE(endedByCrash(exited(0)));
    EXPECT_FALSE(endedByCrash(exited(1)));
    EXPECT_FALSE(endedByCrash(SIGINT));
    EXPECT_FALSE(endedByCrash(SIGTERM));
}
