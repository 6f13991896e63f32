// A small multi-jar application, compiled here from Java sources, packed with
// "qnpack create --main-jar" alone and with "qnpack init", and run on the real JDK
// (skipped without one).

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"

using namespace testkit;
using e2e::jdkBin;
using e2e::Workspace;

namespace {

// Builds app/app.jar (Main-Class app.Main, Class-Path lib/one.jar lib/two.jar) and the
// two library jars under `root`, for Java 11.
bool buildApplication(const SString& bin, const SString& root) {
    writeFile(root + "/src/one/Greeter.java",
              "package one;\n"
              "public class Greeter { public static String greet(String s) { return \"hello \" + "
              "s; } }\n");
    writeFile(root + "/src/two/Status.java",
              "package two;\n"
              "public class Status {\n"
              "  public static int code(String[] a) {\n"
              "    return a.length > 0 && a[0].equals(\"fail\") ? 7 : 0;\n"
              "  }\n"
              "}\n");
    writeFile(root + "/src/app/Main.java",
              "package app;\n"
              "public class Main {\n"
              "  public static void main(String[] args) {\n"
              "    System.out.println(\"cwd=\" + System.getProperty(\"user.dir\"));\n"
              "    for (String a : args) System.out.println(\"[\" + a + \"]\");\n"
              "    System.out.println(one.Greeter.greet(\"x\"));\n"
              "    System.exit(two.Status.code(args));\n"
              "  }\n"
              "}\n");
    writeFile(root + "/manifest.txt",
              "Main-Class: app.Main\nClass-Path: lib/one.jar lib/two.jar\n");
    makeDirs(root + "/app/lib");
    const std::vector<std::vector<SString>> steps = {
        {bin + "/javac", "--release", "11", "-d", root + "/classes", root + "/src/one/Greeter.java",
         root + "/src/two/Status.java", root + "/src/app/Main.java"},
        {bin + "/jar", "cf", root + "/app/lib/one.jar", "-C", root + "/classes", "one"},
        {bin + "/jar", "cf", root + "/app/lib/two.jar", "-C", root + "/classes", "two"},
        {bin + "/jar", "cfm", root + "/app/app.jar", root + "/manifest.txt", "-C",
         root + "/classes", "app"},
    };
    for (const auto& step : steps) {
        RunResult r = run(step);
        if (r.status != 0) {
            ADD_FAILURE() << step[0] << ": " << r.err;
            return false;
        }
    }
    return true;
}

#define REQUIRE_APPLICATION(ws)                                               \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only";   \
    SString bin = jdkBin();                                                   \
    if (bin.empty()) GTEST_SKIP() << "no JDK (javac) installed";              \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"; \
    ASSERT_TRUE(buildApplication(bin, ws.root()))

// Runs the bundle from a directory of its own with arguments that a shell would mangle,
// and checks that the application got them, its output and its exit status intact.
void expectRunsAsJavaJar(const Workspace& ws, const SString& bundle) {
    makeDirs(ws.file("elsewhere"));
    const std::vector<SString> args = {"a b", "$HOME", "", "it's", "\"q\""};
    RunResult r = ws.run(bundle, args, {}, ws.file("elsewhere"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "cwd=" + ws.file("elsewhere") + "\n[a b]\n[$HOME]\n[]\n[it's]\n[\"q\"]\nhello x\n");
    EXPECT_EQ(r.err, "");
    RunResult failed = ws.run(bundle, {"fail"}, {}, ws.file("elsewhere"));
    EXPECT_EQ(failed.status, 7);
    EXPECT_EQ(failed.out, "cwd=" + ws.file("elsewhere") + "\n[fail]\nhello x\n");
}

TEST(OneCommand, AJarWithItsClassPathBecomesAWorkingBundle) {
    Workspace ws;
    REQUIRE_APPLICATION(ws);
    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("app-bundle"), "--main-jar",
                            ws.file("app/app.jar")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.err, "");
    // The descriptor asks for the Java the class files were compiled for.
    RunResult list = run({qnpackPath(), "list", ws.file("app-bundle")});
    for (const char* name : {"instructions.tag", "launch.tag", "java-11+.jvm", "verify.jar",
                             "app.jar", "one.jar", "two.jar"}) {
        EXPECT_NE(list.out.find(name), SString::npos) << name << "\n" << list.out;
    }
    // The jars are embedded: the bundle runs without them.
    removeTree(ws.file("app"));
    expectRunsAsJavaJar(ws, ws.file("app-bundle"));
}

TEST(OneCommand, WithoutAFittingJvmTheBundleFailsWithStatusOne) {
    Workspace ws;
    REQUIRE_APPLICATION(ws);
    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("tool"), "--main-jar",
                            ws.file("app/app.jar"), "--java", "99+", "--name", "Tool"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    RunResult r = ws.run(ws.file("tool"), {"x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("No matching JVM was found."), SString::npos) << r.err;
    EXPECT_NE(r.err.find("Java 99 or newer (java.version=99+)"), SString::npos) << r.err;
}

TEST(OneCommand, InitWritesFilesWhosePrintedCommandPacksTheSameBundle) {
    Workspace ws;
    REQUIRE_APPLICATION(ws);
    RunResult init =
        run({qnpackPath(), "init", ws.file("pack"), "--main-jar", ws.file("app/app.jar")});
    ASSERT_EQ(init.status, 0) << init.err;
    for (const char* name : {"instructions.tag", "launch.tag", "java-11+.jvm"}) {
        EXPECT_TRUE(exists(ws.file("pack/") + name)) << name;
    }
    ASSERT_EQ(init.out.compare(0, 22, "qnpack create -o app \\"), 0) << init.out;
    // The printed command, run as it is, packs the files (qnpack taken from the build).
    makeDirs(ws.file("out"));
    RunResult packed = run({"/bin/sh", "-c", "PATH=" + SString(QN_BIN_DIR) + ":$PATH; " + init.out},
                           ws.file("out"));
    ASSERT_EQ(packed.status, 0) << packed.err;
    expectRunsAsJavaJar(ws, ws.file("out/app"));

    // A second init leaves the files alone and prints the command for them again.
    RunResult again =
        run({qnpackPath(), "init", ws.file("pack"), "--main-jar", ws.file("app/app.jar")});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, init.out);
    EXPECT_NE(again.err.find("launch.tag exists; init keeps it as it is"), SString::npos);
}

}  // namespace
