// System jars by reference: a bundle packed with --system-jars names the machine's jars by
// path, checks each before the application starts, and runs whatever is there now. Real jars
// compiled here; skipped without a JDK. (Debian's own applications: DebianApps_e2e.cpp.)

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"

using namespace testkit;
using e2e::jdkBin;
using e2e::Workspace;

namespace {

bool runAll(const std::vector<std::vector<SString>>& steps) {
    for (const auto& step : steps) {
        RunResult r = run(step);
        if (r.status != 0) {
            ADD_FAILURE() << step[0] << ": " << r.err;
            return false;
        }
    }
    return true;
}

// lib.jar at `jar`, whose lib.Lib.v() returns `value`.
bool buildLibrary(const SString& bin, const SString& root, const SString& jar,
                  const SString& value) {
    const SString src = root + "/lib-" + value;
    writeFile(src + "/lib/Lib.java",
              "package lib; public class Lib { public static String v() { "
              "return \"" +
                  value + "\"; } }\n");
    return runAll(
        {{bin + "/javac", "--release", "11", "-d", src + "/classes", src + "/lib/Lib.java"},
         {bin + "/jar", "cf", jar, "-C", src + "/classes", "lib"}});
}

#define REQUIRE_JDK()                                                       \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only"; \
    SString bin = jdkBin();                                                 \
    if (bin.empty()) GTEST_SKIP() << "no JDK (javac) installed";            \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"

// The referenced jar is the machine's: replaced between two runs, the new class runs and
// the class-data archive made for the old jar is not used but made anew; removed, the run
// ends with 1 before the application starts, naming it. Its directory holds blanks, quotes
// and a dollar sign, which reach the JVM as they are.
TEST(SystemJars, AReferencedJarIsReadWhereItIsAtEveryRun) {
    REQUIRE_JDK();
    Workspace ws;
    const SString system = ws.file("share java $HOME 'q' \"d\"");
    const SString jar = system + "/lib.jar";
    makeDirs(system);
    ASSERT_TRUE(buildLibrary(bin, ws.root(), jar, "one"));
    writeFile(ws.file("app/app/Main.java"),
              "package app; public class Main { public static void main(String[] a) { "
              "System.out.println(lib.Lib.v()); } }\n");
    writeFile(ws.file("manifest.txt"), "Main-Class: app.Main\n");
    ASSERT_TRUE(runAll({{bin + "/javac", "--release", "11", "-cp", jar, "-d", ws.file("classes"),
                         ws.file("app/app/Main.java")},
                        {bin + "/jar", "cfm", ws.file("app.jar"), ws.file("manifest.txt"), "-C",
                         ws.file("classes"), "app"}}));
    makeDirs(ws.file("out"));
    RunResult packed =
        run({qnpackPath(), "create", "-o", ws.file("out/app"), "--main-jar", ws.file("app.jar"),
             "--class-path", jar, "--system-jars", "--system-prefix", system});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(packed.out.find("referenced " + jar + " (--class-path)\n"), SString::npos)
        << packed.out;

    const std::map<SString, SString> env = {{"JAVA_HOME", bin.substr(0, bin.rfind('/'))},
                                            {"QNLAUNCH_CACHE", ws.file("cache")}};
    // The background job that makes class data runs only on a quiet machine.
    const bool mounts = privateMountsAvailable();
    const MountPlan quiet = mounts ? e2e::machineWithLoad(ws, "0.00") : MountPlan();
    const SString app = ws.file("out/app");
    auto runApp = [&] { return ws.run(app, {}, env, SString(), mounts ? &quiet : nullptr); };
    auto archives = [&] {
        EXPECT_TRUE(e2e::waitUntilNoneRuns(app, 240));
        return listDir(ws.file("cache/classdata")).size();
    };
    RunResult r = runApp();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "one\n");
    EXPECT_EQ(r.err, "");
    if (mounts) {
        EXPECT_EQ(archives(), 1u) << ws.logText();
    }

    // An update of the system jar reaches the bundle without a rebuild.
    ASSERT_EQ(unlink(jar.c_str()), 0);
    ASSERT_TRUE(buildLibrary(bin, ws.root(), jar, "two"));
    r = runApp();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "two\n");
    EXPECT_EQ(r.err, "");
    if (mounts) {
        EXPECT_NE(ws.logText().find("Recording the classes"), SString::npos) << ws.logText();
        EXPECT_EQ(archives(), 2u);
        r = runApp();
        EXPECT_EQ(r.out, "two\n");
        EXPECT_NE(ws.logText().find("Using the class-data archive"), SString::npos);
    }

    ASSERT_EQ(unlink(jar.c_str()), 0);
    r = ws.run(ws.file("out/app"), {}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const SString said =
        "the application needs " + jar + ", which is missing; install the package that holds it";
    EXPECT_EQ(r.err, "app: " + said + "\n");
    EXPECT_NE(ws.logText().find("ERROR: " + said + "\n"), SString::npos) << ws.logText();
}

}  // namespace
