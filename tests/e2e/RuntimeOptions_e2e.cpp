// JVM options a user gives a generated bundle at run time: JAVA_OPTS and the bundle's own
// NAME_OPTS, split with the usual quoting but never by a shell, and the runtime files beside
// the bundle's real file when it is started through a link. The JVM is a stand-in that
// records its arguments; the bundles are packed by qnpack from a jar made here.

#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/E2eHelpers.h"
#include "support/ZipBuilder.h"

using namespace testkit;
using e2e::Workspace;

namespace {

#define REQUIRE_PACKER()                                                    \
    if (getenv("QN_STUB")) GTEST_SKIP() << "packs with the host stub only"; \
    if (!exists(verifyJarPath())) GTEST_SKIP() << "verify.jar was not built"

// Packs a jar whose main class is app.Main (Java 17) into the bundle `output`.
void pack(const Workspace& ws, const SString& output) {
    ZipBuilder()
        .add("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\nMain-Class: app.Main\n")
        .add("app/Main.class", classFileHeader(61))
        .write(ws.file("app.jar"));
    makeDirs(output.substr(0, output.rfind('/')));
    RunResult packed =
        run({qnpackPath(), "create", "-o", output, "--main-jar", ws.file("app.jar")});
    ASSERT_EQ(packed.status, 0) << packed.err;
}

// The stand-in's arguments of its last run, those before the class path.
std::vector<SString> jvmOptions(const StandInJvm& jvm) {
    const std::vector<SString> args = jvm.exactArgs(jvm.callCount());
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-cp") return std::vector<SString>(args.begin(), args.begin() + i);
    }
    return {"<no class path in the last run>"};
}

TEST(RuntimeOptions, JavaOptsAndTheBundlesOwnArriveAsExactWords) {
    REQUIRE_PACKER();
    Workspace ws;
    const StandInJvm jvm = StandInJvm::create(ws.file("jdk"), {{"java.version", "17.0.9"}});
    const SString bundle = ws.file("bin/my-tool");
    pack(ws, bundle);
    // The runtime file beside the bundle comes after the environment's options and wins.
    writeFile(ws.file("bin/my-tool.ja"), "-Xmx64m\n");
    std::map<SString, SString> env = {
        {"JAVA_HOME", ws.file("jdk")},
        {"QNLAUNCH_CACHE", ws.file("cache")},
        {"JAVA_OPTS",
         "-Xmx100m -Dfoo=\"a b\" '$(touch planted1)' $(touch planted2) \"`touch planted3`\" "
         "back\\\\slash\\ x 'it'\\''s' \"\" -Dat=@JVM_HOME@#HOME#%CP%()"},
        {"MY_TOOL_OPTS", "\t-Dtool=\"x\\\"y\"\n-ea "},
    };
    RunResult r = ws.run(bundle, {"arg"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stand-in application ran\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(
        jvmOptions(jvm),
        (std::vector<SString>{"-Xmx100m", "-Dfoo=a b", "$(touch planted1)", "$(touch", "planted2)",
                              "`touch planted3`", "back\\slash x", "it's", "",
                              "-Dat=@JVM_HOME@#HOME#%CP%()", "-Dtool=x\"y", "-ea", "-Xmx64m"}));
    for (const char* planted : {"planted1", "planted2", "planted3"}) {
        EXPECT_FALSE(exists(ws.file(planted))) << planted;
        EXPECT_FALSE(exists(ws.file("bin/") + planted)) << planted;
    }

    // A value with a quote left open is refused whole, said once, and the run goes on.
    env["JAVA_OPTS"] = "-Dgood=1 -Dbad=\"a b";
    env.erase("MY_TOOL_OPTS");
    r = ws.run(bundle, {}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stand-in application ran\n");
    EXPECT_EQ(r.err,
              "my-tool: JAVA_OPTS is not used: its value has a quote that is not closed "
              "(-Dgood=1 -Dbad=\"a b)\n");
    EXPECT_EQ(jvmOptions(jvm), std::vector<SString>{"-Xmx64m"});
    EXPECT_NE(ws.logText().find("WARNING: JAVA_OPTS is not used"), SString::npos);
}

// A bundle installed as /opt/rhino/rhino and linked from /usr/local/bin reads the runtime
// files beside the name it was started by, then those beside its real file.
TEST(RuntimeOptions, RuntimeFilesBesideTheRealFileOfALinkedBundle) {
    REQUIRE_PACKER();
    Workspace ws;
    const StandInJvm jvm = StandInJvm::create(ws.file("jdk"), {{"java.version", "17.0.9"}});
    pack(ws, ws.file("opt/rhino/rhino"));
    writeFile(ws.file("opt/rhino/rhino.ja"), "-Dbeside.real=1\n");
    writeFile(ws.file("opt/rhino/rhino.sp"), "real.sp=yes\n");
    makeDirs(ws.file("usr/local/bin"));
    ASSERT_EQ(symlink("../../../opt/rhino/rhino", ws.file("usr/local/bin/rhino").c_str()), 0);
    ASSERT_EQ(symlink("../../../opt/rhino/rhino", ws.file("usr/local/bin/js").c_str()), 0);
    const std::map<SString, SString> env = {{"JAVA_HOME", ws.file("jdk")},
                                            {"QNLAUNCH_CACHE", ws.file("cache")}};

    RunResult r = ws.run(ws.file("usr/local/bin/rhino"), {}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(jvmOptions(jvm), (std::vector<SString>{"-Dbeside.real=1", "-Dreal.sp=yes"}));

    // Files beside the link come first; a link of another name reads the real file's.
    writeFile(ws.file("usr/local/bin/rhino.ja"), "-Dbeside.link=1\n");
    r = ws.run(ws.file("usr/local/bin/rhino"), {}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(jvmOptions(jvm),
              (std::vector<SString>{"-Dbeside.link=1", "-Dbeside.real=1", "-Dreal.sp=yes"}));
    r = ws.run(ws.file("usr/local/bin/js"), {}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(jvmOptions(jvm), (std::vector<SString>{"-Dbeside.real=1", "-Dreal.sp=yes"}));
}

}  // namespace
