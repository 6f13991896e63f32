// Debian's own Java applications, packed with qnpack the way a distribution or a user would,
// run against what a machine without them would have. pdftk-java and PlantUML in one
// command each, and checkstyle, whose jars name further jars in their manifests: every jar
// embedded, each bundle runs with /usr/share/java and the application's own directory
// hidden (a tmpfs over them in a private mount namespace) and prints what Debian's own
// launcher prints. pdftk-java also as a .deb that references the system's jars. Each test is
// skipped when its package is not installed.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"

using namespace testkit;
using e2e::Workspace;

namespace {

bool installed(const std::vector<SString>& files) {
    for (const SString& file : files) {
        if (!exists(file)) return false;
    }
    return true;
}

#define REQUIRE_APPLICATION(...)                                                   \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only";        \
    if (!installed({__VA_ARGS__})) GTEST_SKIP() << "the package is not installed"; \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built";      \
    REQUIRE_PRIVATE_MOUNTS()

// Runs the Debian launcher `wrapper` and the bundle `bundle` with `args` in `cwd`, the
// bundle with `hidden` covered; both must end alike, print the same on standard output, and
// the bundle nothing on standard error.
void expectSameRun(const Workspace& ws, const SString& wrapper, const SString& bundle,
                   const std::vector<SString>& args, const SString& cwd, const MountPlan& hidden) {
    std::vector<SString> own = {wrapper};
    own.insert(own.end(), args.begin(), args.end());
    RunResult expected = run(own, cwd);
    RunResult r = ws.run(bundle, args, {{"QNLAUNCH_CACHE", ws.file("cache")}}, cwd, &hidden);
    EXPECT_EQ(r.status, expected.status) << r.err;
    EXPECT_EQ(r.out, expected.out);
    EXPECT_EQ(r.err, "");
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
TEST(DebianApps, PdftkShipsAsADebThatReferencesTheSystemJars) {
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
    // The size is a shipped stub's: a sanitizer build's stub, many times larger and held to
    // no size by the stub check either, is not weighed.
    const size_t stub =
        readFile(qnpackPath().substr(0, qnpackPath().rfind('/')) + "/qnlaunch-stripped").size();
    if (stub <= 786432) {
        EXPECT_LT(readFile(pdftk).size(), 1500000u) << "the bundle is not under 1.5 MB";
    }
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

// pdftk-java in the README's one command: its two jars come with --class-path and are
// embedded, so the bundle needs neither /usr/share/java nor /usr/share/pdftk.
TEST(DebianApps, PdftkInOneCommandRunsWithItsJarsHidden) {
    REQUIRE_APPLICATION("/usr/share/pdftk/pdftk.jar", "/usr/share/java/bcprov.jar",
                        "/usr/share/java/commons-lang3.jar", "/usr/bin/pdftk");
    Workspace ws;
    makeDirs(ws.file("work"));
    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("pdftk"), "--main-jar",
                            "/usr/share/pdftk/pdftk.jar", "--class-path",
                            "/usr/share/java/bcprov.jar:/usr/share/java/commons-lang3.jar"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(packed.out.find("embedded bcprov.jar from /usr/share/java/bcprov.jar"), SString::npos)
        << packed.out;

    writeFile(ws.file("work/in.pdf"), onePagePdf());
    const MountPlan hidden = {{"tmpfs", "/usr/share/java"}, {"tmpfs", "/usr/share/pdftk"}};
    expectSameRun(ws, "/usr/bin/pdftk", ws.file("pdftk"), {"--version"}, ws.file("work"), hidden);
    RunResult joined = ws.run(ws.file("pdftk"), {"in.pdf", "in.pdf", "cat", "output", "-"},
                              {{"QNLAUNCH_CACHE", ws.file("cache")}}, ws.file("work"), &hidden);
    ASSERT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(joined.out.rfind("%PDF", 0), 0u);
    writeFile(ws.file("work/two.pdf"), joined.out);
    RunResult pages = run({"/usr/bin/pdftk", "two.pdf", "dump_data"}, ws.file("work"));
    EXPECT_NE(pages.out.find("NumberOfPages: 2\n"), SString::npos) << pages.out << pages.err;
}

// PlantUML in one command: its manifest names eight jars of /usr/share/java by absolute
// path, which the bundle embeds; the diagram it draws with all of them hidden is the one
// Debian's plantuml draws.
TEST(DebianApps, PlantumlInOneCommandDrawsWithItsJarsHidden) {
    REQUIRE_APPLICATION("/usr/share/plantuml/plantuml.jar", "/usr/bin/plantuml");
    Workspace ws;
    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("plantuml"), "--main-jar",
                            "/usr/share/plantuml/plantuml.jar"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EXPECT_NE(packed.out.find("(Class-Path of /usr/share/plantuml/plantuml.jar)"), SString::npos)
        << packed.out;

    const SString diagram = "@startuml\nAlice -> Bob: hello\nBob --> Alice: hi\n@enduml\n";
    writeFile(ws.file("debian/a.puml"), diagram);
    writeFile(ws.file("bundle/a.puml"), diagram);
    const MountPlan hidden = {{"tmpfs", "/usr/share/java"}, {"tmpfs", "/usr/share/plantuml"}};
    RunResult expected = run({"/usr/bin/plantuml", "-tsvg", "a.puml"}, ws.file("debian"));
    ASSERT_EQ(expected.status, 0) << expected.err;
    RunResult r = ws.run(ws.file("plantuml"), {"-tsvg", "a.puml"},
                         {{"QNLAUNCH_CACHE", ws.file("cache")}}, ws.file("bundle"), &hidden);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected.out);
    const SString svg = readFile(ws.file("bundle/a.svg"));
    EXPECT_NE(svg.find("<svg"), SString::npos) << svg;
    EXPECT_NE(svg.find("Alice"), SString::npos) << svg;
    EXPECT_TRUE(svg == readFile(ws.file("debian/a.svg")));
    // A file that is not there ends with the tool's own status, as with Debian's launcher.
    RunResult missing = run({"/usr/bin/plantuml", "-tsvg", "none.puml"}, ws.file("debian"));
    RunResult missingBundle =
        ws.run(ws.file("plantuml"), {"-tsvg", "none.puml"}, {{"QNLAUNCH_CACHE", ws.file("cache")}},
               ws.file("bundle"), &hidden);
    EXPECT_EQ(missing.status, 100);
    EXPECT_EQ(missingBundle.status, missing.status) << missingBundle.err;
    EXPECT_EQ(missingBundle.out, missing.out);
}

// Debian's checkstyle, packed in one command with the jars its own wrapper script puts on
// the class path; their manifests name many more jars, which the bundle brings along.
TEST(DebianApps, CheckstyleRunsWithTheJarsItsManifestsNameHidden) {
    REQUIRE_APPLICATION("/usr/share/java/checkstyle.jar", "/usr/bin/checkstyle");
    Workspace ws;
    SString classPath;
    for (const char* jar :
         {"antlr", "antlr4-runtime", "commons-lang3", "commons-beanutils", "commons-collections3",
          "guava", "commons-cli", "commons-logging", "picocli", "Saxon-HE", "reflections"}) {
        classPath += SString("/usr/share/java/") + jar + ".jar:";
    }
    RunResult packed = run({qnpackPath(), "create", "-o", ws.file("checkstyle"), "--main-jar",
                            "/usr/share/java/checkstyle.jar", "--main-class",
                            "com.puppycrawl.tools.checkstyle.Main", "--class-path", classPath});
    ASSERT_EQ(packed.status, 0) << packed.err;
    // Jars that only the manifests name are in.
    EXPECT_NE(packed.out.find("(Class-Path of /usr/share/java/reflections.jar)"), SString::npos)
        << packed.out;
    writeFile(ws.file("work/Foo.java"), "public class Foo { int x; }\n");
    RunResult own =
        run({"/usr/bin/checkstyle", "-c", "/google_checks.xml", "Foo.java"}, ws.file("work"));
    ASSERT_NE(own.out.find("Audit done."), SString::npos) << own.err;
    expectSameRun(ws, "/usr/bin/checkstyle", ws.file("checkstyle"),
                  {"-c", "/google_checks.xml", "Foo.java"}, ws.file("work"),
                  {{"tmpfs", "/usr/share/java"}});
}

}  // namespace
