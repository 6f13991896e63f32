// The whole class path of real jars, compiled here: qnpack follows every Class-Path as
// the JVM does, embeds each jar once in the JVM's order, and the bundle then runs with the
// jars' directory hidden (a private mount namespace with a tmpfs over it), so that no copy
// can reach a file outside the bundle. Skipped without a JDK.

#include <gtest/gtest.h>

#include "e2e/E2eHelpers.h"

using namespace testkit;
using e2e::jdkBin;
using e2e::Workspace;

namespace {

// Runs `argv` with the directory `hidden` covered by an empty tmpfs, in a mount namespace
// of its own; status 125 when that cannot be set up.
RunResult runHiding(const SString& hidden, const std::vector<SString>& argv,
                    const std::map<SString, SString>& env = {}, const SString& cwd = SString()) {
    std::vector<SString> command = {
        "/usr/bin/unshare",
        "-m",
        "/bin/sh",
        "-c",
        "mount -t tmpfs -o size=1m tmpfs \"$0\" || exit 125; exec \"$@\"",
        hidden};
    command.insert(command.end(), argv.begin(), argv.end());
    return run(command, cwd, env);
}

bool canHide(const Workspace& ws) {
    makeDirs(ws.file("probe"));
    return runHiding(ws.file("probe"), {"/bin/true"}).status == 0;
}

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

// A jar at `jar` of the classes below `classes`/`package` and a resource id.txt holding
// `id`, whose manifest has the Class-Path `classPath`.
std::vector<std::vector<SString>> jarSteps(const SString& bin, const SString& root,
                                           const SString& jar, const SString& package,
                                           const SString& id, const SString& manifest) {
    const SString dir = root + "/res/" + id;
    writeFile(dir + "/id.txt", id + "\n");
    writeFile(root + "/manifest-" + id + ".txt", manifest);
    makeDirs(jar.substr(0, jar.rfind('/')));
    return {{bin + "/jar", "cfm", jar, root + "/manifest-" + id + ".txt", "-C", root + "/classes",
             package, "-C", dir, "id.txt"}};
}

// Builds src/app/app.jar -> lib/a.jar -> ../../deep/b.jar -> (absolute) far/c.jar, and
// the absolute other/d.jar and a missing jar after lib/a.jar. b.jar names a.jar again.
// The main class prints every id.txt in class-path order and calls a class of each level.
bool buildChain(const SString& bin, const SString& root) {
    const SString src = root + "/src";
    writeFile(root + "/java/a/A.java",
              "package a; public class A { public static String s() { return \"A\"; } }\n");
    writeFile(root + "/java/b/B.java",
              "package b; public class B { public static String s() { return \"B\"; } }\n");
    writeFile(root + "/java/c/C.java",
              "package c; public class C { public static String s() { return \"C\"; } }\n");
    writeFile(root + "/java/d/D.java",
              "package d; public class D { public static String s() { return \"D\"; } }\n");
    writeFile(root + "/java/app/Main.java",
              "package app;\n"
              "import java.io.InputStream;\n"
              "import java.net.URL;\n"
              "import java.util.Enumeration;\n"
              "public class Main {\n"
              "  public static void main(String[] args) throws Exception {\n"
              "    Enumeration<URL> ids = ClassLoader.getSystemResources(\"id.txt\");\n"
              "    StringBuilder order = new StringBuilder();\n"
              "    while (ids.hasMoreElements()) {\n"
              "      try (InputStream in = ids.nextElement().openStream()) {\n"
              "        order.append(new String(in.readAllBytes(), \"UTF-8\").trim()).append(' ');\n"
              "      }\n"
              "    }\n"
              "    System.out.println(\"order: \" + order.toString().trim());\n"
              "    System.out.println(a.A.s() + b.B.s() + c.C.s() + d.D.s());\n"
              "  }\n"
              "}\n");
    std::vector<std::vector<SString>> steps = {
        {bin + "/javac", "--release", "11", "-d", root + "/classes", root + "/java/a/A.java",
         root + "/java/b/B.java", root + "/java/c/C.java", root + "/java/d/D.java",
         root + "/java/app/Main.java"}};
    const std::vector<std::vector<SString>> jars[] = {
        jarSteps(
            bin, root, src + "/app/app.jar", "app", "app",
            "Main-Class: app.Main\nClass-Path: lib/a.jar " + src + "/other/d.jar missing.jar\n"),
        jarSteps(bin, root, src + "/app/lib/a.jar", "a", "a", "Class-Path: ../../deep/b.jar\n"),
        jarSteps(bin, root, src + "/deep/b.jar", "b", "b",
                 "Class-Path: " + src + "/far/c.jar ../app/lib/a.jar\n"),
        jarSteps(bin, root, src + "/far/c.jar", "c", "c", "Created-By: test\n"),
        jarSteps(bin, root, src + "/other/d.jar", "d", "d", "Created-By: test\n"),
    };
    for (const auto& jar : jars) steps.insert(steps.end(), jar.begin(), jar.end());
    makeDirs(root + "/out");
    return runAll(steps);
}

#define REQUIRE_JDK(ws)                                                       \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only";   \
    SString bin = jdkBin();                                                   \
    if (bin.empty()) GTEST_SKIP() << "no JDK (javac) installed";              \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"; \
    if (!canHide(ws)) GTEST_SKIP() << "no private mount namespace here"

TEST(WholeClassPath, AThreeLevelChainRunsFromTheBundleAloneInTheJvmsOrder) {
    Workspace ws;
    REQUIRE_JDK(ws);
    ASSERT_TRUE(buildChain(bin, ws.root()));
    const SString expected = "order: app a b c d\nABCD\n";
    // The JVM itself opens the jars depth first: a jar, then what its Class-Path reaches.
    RunResult java = run({bin + "/java", "-jar", ws.file("src/app/app.jar")});
    ASSERT_EQ(java.status, 0) << java.err;
    ASSERT_EQ(java.out, expected);

    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("out/app"), "--main-jar",
                            ws.file("src/app/app.jar")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.err, "qnpack: warning: " + ws.file("src/app/app.jar") +
                              ": Class-Path entry missing.jar is not at " +
                              ws.file("src/app/missing.jar") +
                              "; it is left out, as java -jar would do\n");
    EXPECT_NE(packed.out.find("embedded c.jar from " + ws.file("src/far/c.jar") +
                              " (Class-Path of " + ws.file("src/deep/b.jar") + ")\n"),
              SString::npos)
        << packed.out;

    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};
    RunResult visible = ws.run(ws.file("out/app"), {}, env);
    EXPECT_EQ(visible.status, 0) << visible.err;
    EXPECT_EQ(visible.out, expected);
    // With the jars' directory hidden the bundle's own copies are all there is.
    RunResult hidden =
        runHiding(ws.file("src"),
                  {ws.file("out/app"), "-qn:tempdir", ws.tempDir(), "-qn:log", ws.log()}, env);
    EXPECT_EQ(hidden.status, 0) << hidden.err;
    EXPECT_EQ(hidden.out, expected);
    EXPECT_EQ(hidden.err, "");

    // The copies of the jars that had a Class-Path carry none: no manifest reaches out.
    makeDirs(ws.file("extracted"));
    ASSERT_EQ(run({ws.file("out/app"), "-qn:extract"}, ws.file("extracted")).status, 0);
    for (const char* jar : {"app.jar", "a.jar", "b.jar"}) {
        const SString dir = ws.file("manifest-of-") + jar;
        makeDirs(dir);
        ASSERT_EQ(
            run({bin + "/jar", "xf", ws.file("extracted/") + jar, "META-INF/MANIFEST.MF"}, dir)
                .status,
            0);
        const SString manifest = readFile(dir + "/META-INF/MANIFEST.MF");
        EXPECT_EQ(manifest.find("Class-Path"), SString::npos) << jar << ": " << manifest;
        EXPECT_NE(manifest.find("Manifest-Version"), SString::npos) << jar << ": " << manifest;
    }
    // Packing again gives the same bytes. (The bundle's name is part of them: it names the
    // options variable APP_OPTS.)
    makeDirs(ws.file("again"));
    ASSERT_EQ(run({qnpackPath(), "create", "-o", ws.file("again/app"), "--main-jar",
                   ws.file("src/app/app.jar")})
                  .status,
              0);
    EXPECT_TRUE(readFile(ws.file("again/app")) == readFile(ws.file("out/app")));
}

TEST(WholeClassPath, SystemJarsAreReferencedNotEmbedded) {
    Workspace ws;
    REQUIRE_JDK(ws);
    ASSERT_TRUE(buildChain(bin, ws.root()));
    RunResult packed =
        run({qnpackPath(), "create", "-o", ws.file("out/app"), "--main-jar",
             ws.file("src/app/app.jar"), "--system-jars", "--system-prefix", ws.file("src/deep")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    // b.jar is referenced; c.jar, which only b.jar names, is still found and embedded.
    EXPECT_NE(packed.out.find("referenced " + ws.file("src/deep/b.jar") + " (Class-Path of " +
                              ws.file("src/app/lib/a.jar") + ")\n"),
              SString::npos)
        << packed.out;
    RunResult list = run({qnpackPath(), "list", ws.file("out/app")});
    EXPECT_EQ(list.out.find("b.jar"), SString::npos) << list.out;
    EXPECT_NE(list.out.find("c.jar"), SString::npos) << list.out;
    makeDirs(ws.file("extracted"));
    ASSERT_EQ(run({ws.file("out/app"), "-qn:extract"}, ws.file("extracted")).status, 0);
    EXPECT_NE(readFile(ws.file("extracted/launch.tag"))
                  .find("CLASSPATH_REFERENCES:\n  " + ws.file("src/deep/b.jar") + "\n/:\n"),
              SString::npos);
}

}  // namespace
