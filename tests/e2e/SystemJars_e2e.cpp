// System jars by reference: a bundle packed with --system-jars names the machine's jars by
// path, checks each before the application starts, and runs whatever is there now. Real jars
// compiled here; Debian's pdftk-java packed and shipped as a .deb the way a distribution
// would, then run from the unpacked package against the system's jars. Skipped without a
// JDK, and the Debian test also without pdftk-java or dpkg-deb.

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

// The referenced jar is the machine's: replaced between two runs, the new class runs;
// removed, the run ends with 1 before the application starts, naming it. Its directory
// holds blanks, quotes and a dollar sign, which reach the JVM as they are.
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
    RunResult r = ws.run(ws.file("out/app"), {}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "one\n");
    EXPECT_EQ(r.err, "");

    // An update of the system jar reaches the bundle without a rebuild.
    ASSERT_EQ(unlink(jar.c_str()), 0);
    ASSERT_TRUE(buildLibrary(bin, ws.root(), jar, "two"));
    r = ws.run(ws.file("out/app"), {}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "two\n");
    EXPECT_EQ(r.err, "");

    ASSERT_EQ(unlink(jar.c_str()), 0);
    r = ws.run(ws.file("out/app"), {}, env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const SString said =
        "the application needs " + jar + ", which is missing; install the package that holds it";
    EXPECT_EQ(r.err, "app: " + said + "\n");
    EXPECT_NE(ws.logText().find("ERROR: " + said + "\n"), SString::npos) << ws.logText();
}

// A one-page PDF, its cross-reference table made to fit.
SString onePagePdf() {
    const std::vector<SString> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"};
    SString pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 4\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    return pdf + "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
}

// The README's Debian packaging of pdftk-java: the bundle references bcprov and
// commons-lang3, the .deb holds the bundle alone, and the unpacked bundle runs against the
// system's jars as Debian's own pdftk does.
TEST(SystemJars, DebiansPdftkShipsAsADebThatReferencesTheSystemJars) {
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only";
    const char* const jars[] = {"/usr/share/pdftk/pdftk.jar", "/usr/share/java/bcprov.jar",
                                "/usr/share/java/commons-lang3.jar"};
    for (const char* jar : jars) {
        if (!exists(jar)) GTEST_SKIP() << "pdftk-java is not installed (" << jar << ")";
    }
    if (access("/usr/bin/dpkg-deb", X_OK) != 0) GTEST_SKIP() << "needs dpkg-deb";
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built";
    Workspace ws;
    const SString stage = ws.file("pdftk-qn");
    makeDirs(stage + "/usr/bin");
    RunResult packed =
        run({qnpackPath(), "create", "-o", stage + "/usr/bin/pdftk", "--main-jar", jars[0],
             "--system-jars", "--class-path", SString(jars[1]) + ":" + jars[2]});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(packed.out.find("referenced /usr/share/java/bcprov.jar (--class-path)\n"),
              SString::npos)
        << packed.out;
    EXPECT_NE(packed.out.find("referenced /usr/share/java/commons-lang3.jar (--class-path)\n"),
              SString::npos)
        << packed.out;

    const RunResult arch = run({"/usr/bin/dpkg", "--print-architecture"});
    ASSERT_EQ(arch.status, 0);
    writeFile(stage + "/DEBIAN/control",
              "Package: pdftk-qn\n"
              "Version: 3.3.2-1\n"
              "Architecture: " +
                  arch.out.substr(0, arch.out.find('\n')) +
                  "\n"
                  "Maintainer: Test <test@localhost>\n"
                  "Depends: libbcprov-java, libcommons-lang3-java, default-jre-headless | "
                  "java8-runtime-headless\n"
                  "Description: pdftk as one native executable\n"
                  " The pdftk-java jar packed by qnpack; the system jars are referenced.\n");
    const SString deb = ws.file("pdftk-qn.deb");
    RunResult built = run({"/usr/bin/dpkg-deb", "--root-owner-group", "--build", stage, deb});
    ASSERT_EQ(built.status, 0) << built.err;

    RunResult contents = run({"/usr/bin/dpkg-deb", "-c", deb});
    ASSERT_EQ(contents.status, 0) << contents.err;
    bool bundle = false;
    for (const SString& line : splitLines(contents.out)) {
        EXPECT_EQ(line.find(".jar"), SString::npos) << line;
        EXPECT_EQ(line.find("usr/share/java"), SString::npos) << line;
        const SString name = " ./usr/bin/pdftk";
        if (line.size() > name.size() &&
            line.compare(line.size() - name.size(), name.size(), name) == 0) {
            bundle = line.find("-rwxr-xr-x root/root") == 0;
        }
    }
    EXPECT_TRUE(bundle) << contents.out;

    const SString unpacked = ws.file("unpacked");
    ASSERT_EQ(run({"/usr/bin/dpkg-deb", "-x", deb, unpacked}).status, 0);
    const SString pdftk = unpacked + "/usr/bin/pdftk";
    EXPECT_LT(readFile(pdftk).size(), 1500000u) << "the bundle is not under 1.5 MB";
    RunResult list = run({qnpackPath(), "list", pdftk});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out.find("bcprov"), SString::npos) << list.out;
    EXPECT_EQ(list.out.find("commons-lang3"), SString::npos) << list.out;
    EXPECT_NE(list.out.find("pdftk.jar"), SString::npos) << list.out;

    // The bundle runs from the unpacked tree as Debian's own pdftk does.
    writeFile(ws.file("in.pdf"), onePagePdf());
    const std::map<SString, SString> env = {{"QNLAUNCH_CACHE", ws.file("cache")}};
    const std::vector<std::vector<SString>> commands = {
        {"--version"},
        {"in.pdf", "in.pdf", "cat", "output", "-"},
    };
    for (const auto& args : commands) {
        std::vector<SString> own = {"/usr/bin/pdftk"};
        own.insert(own.end(), args.begin(), args.end());
        RunResult expected = run(own, ws.root());
        RunResult r = ws.run(pdftk, args, env);
        EXPECT_EQ(r.status, expected.status) << r.err;
        EXPECT_EQ(r.err, expected.err);
        if (args[0] == "--version") {
            EXPECT_EQ(r.out, expected.out);
            EXPECT_NE(r.out.find("pdftk port to java"), SString::npos) << r.out;
        } else {
            EXPECT_EQ(r.out.rfind("%PDF", 0), 0u);
            writeFile(ws.file("two.pdf"), r.out);
        }
    }
    RunResult pages = ws.run(pdftk, {"two.pdf", "dump_data"}, env);
    EXPECT_NE(pages.out.find("NumberOfPages: 2\n"), SString::npos) << pages.out << pages.err;
    EXPECT_NE(ws.logText().find(":/usr/share/java/bcprov.jar:/usr/share/java/commons-lang3.jar "),
              SString::npos)
        << ws.logText();

    // Without the system's jars the bundle says which one it needs.
    if (!privateMountsAvailable()) return;
    const MountPlan hidden = {{"tmpfs", "/usr/share/java"}};
    RunResult r = ws.run(pdftk, {"--version"}, env, SString(), &hidden);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "pdftk: the application needs /usr/share/java/bcprov.jar, which is missing; install "
              "the package that holds it\n");
}

}  // namespace
