#include "qnpack/AppBundle.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "platform/ShellWords.h"
#include "qnpack/PackChecks.h"
#include "support/TestKit.h"
#include "support/ZipBuilder.h"

using testkit::ScopedTempDir;
using testkit::ZipBuilder;

namespace {

SString writeJar(const ScopedTempDir& dir, const SString& name, const SString& manifest,
                 int major = 61) {
    const SString path = dir.file(name);
    ZipBuilder zip;
    if (!manifest.empty()) zip.add("META-INF/MANIFEST.MF", manifest);
    zip.add("app/Main.class", testkit::classFileHeader(major)).write(path);
    return path;
}

SString messageOf(const AppOptions& options) {
    try {
        generateAppBundle(options);
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
    return SString();
}

TEST(AppBundle, DescriptorTemplateMatchesTheShippedDescriptors) {
    bool compared = false;
    for (const char* version : {"8", "11", "17", "21", "25"}) {
        const SString constraint = SString(version) + "+";
        const SString shipped =
            testkit::readFile(SString(QN_SOURCE_DIR) + "/descriptors/java-" + constraint + ".jvm");
        if (shipped.empty()) continue;
        EXPECT_EQ(jvmDescriptorText(constraint), shipped) << constraint;
        compared = true;
    }
    if (!compared) GTEST_SKIP() << "no shipped descriptors in this tree";
}

TEST(AppBundle, ManifestGivesMainClassClassPathAndJava) {
    ScopedTempDir dir;
    testkit::writeFile(dir.file("lib/one.jar"), "x");
    testkit::writeFile(dir.file("abs.jar"), "x");
    AppOptions options;
    options.mainJar = writeJar(
        dir, "tool.jar",
        "Main-Class: app.Main\nClass-Path: lib/one.jar missing.jar " + dir.file("abs.jar") + "\n",
        55);
    AppBundle app = generateAppBundle(options);
    EXPECT_EQ(app.mainClass, "app.Main");
    // Relative entries are resolved against the jar's directory; missing ones are left out.
    EXPECT_EQ(app.classPath, (std::vector<SString>{dir.file("lib/one.jar"), dir.file("abs.jar")}));
    ASSERT_EQ(app.warnings.size(), 1u);
    EXPECT_NE(app.warnings[0].find("missing.jar"), SString::npos);
    EXPECT_EQ(app.javaConstraint, "11+");
    EXPECT_EQ(app.descriptorName, "java-11+.jvm");
    EXPECT_NE(app.launchScript.find("DESC: tool\n"), SString::npos);
    EXPECT_NE(app.launchScript.find("QUIET: 1\n"), SString::npos);
    EXPECT_NE(app.instructions.find("EXIT 1"), SString::npos);

    // The command line wins over the manifest.
    options.mainClass = "other.Start";
    options.classPathGiven = true;
    options.classPath = {"/x/y.jar"};
    options.java = "17..21";
    options.name = "My Tool";
    options.gui = true;
    app = generateAppBundle(options);
    EXPECT_EQ(app.mainClass, "other.Start");
    EXPECT_EQ(app.classPath, (std::vector<SString>{"/x/y.jar"}));
    EXPECT_EQ(app.descriptorName, "java-17..21.jvm");
    EXPECT_NE(app.descriptor.find("DESC: Java 17 to 21\n"), SString::npos);
    EXPECT_NE(app.launchScript.find("DESC: My Tool\nQUIET: 0\n"), SString::npos);
    EXPECT_NE(app.instructions.find("INITIALIZE_UI\n  FIND_JVM 1 1\n"), SString::npos);
}

TEST(AppBundle, OldClassFilesStillNeedTheVerifiersJava) {
    ScopedTempDir dir;
    AppOptions options;
    options.mainJar = writeJar(dir, "old.jar", "Main-Class: app.Main\n", 50);
    EXPECT_EQ(generateAppBundle(options).javaConstraint, "8+");
}

TEST(AppBundle, ProblemsSayWhatToGive) {
    ScopedTempDir dir;
    AppOptions options;
    options.mainJar = writeJar(dir, "nomain.jar", "Manifest-Version: 1.0\n");
    EXPECT_NE(messageOf(options).find("names no Main-Class; give the class that holds main with "
                                      "--main-class CLASS"),
              SString::npos);
    options.mainClass = "no.Such";
    EXPECT_NE(messageOf(options).find("is neither in this jar nor on its class path"),
              SString::npos);
    options.mainClass = "app.Main";
    options.java = "17++";
    EXPECT_NE(messageOf(options).find("--java 17++: "), SString::npos);
    options.java = "17";
    EXPECT_NE(messageOf(options).find("write N+ (N or newer, as 17+) or N..M"), SString::npos);
    options.java.clear();
    options.mainJar = writeJar(dir, "dir.jar", "Main-Class: app.Main\nClass-Path: classes/\n");
    EXPECT_NE(messageOf(options).find("is a directory"), SString::npos);
    options.mainJar = dir.file("absent.jar");
    EXPECT_NE(messageOf(options).find("absent.jar: cannot be read"), SString::npos);
}

TEST(AppBundle, JavaOptionsSurviveTheShell) {
    ScopedTempDir dir;
    AppOptions options;
    options.mainJar =
        writeJar(dir, "t.jar", "Main-Class: app.Main\nAdd-Opens: java.base/java.lang\n");
    options.javaOptions = {"-Dtext=it's \"100\" $x `y`", "-Dw=a%b"};
    EXPECT_NE(messageOf(options).find("--java-option -Dw=a%b: the characters % @ # would be read"),
              SString::npos);
    options.javaOptions = {"-Xmx64m", "-Dtext=it's \"100\" $x `y`"};
    AppBundle app = generateAppBundle(options);
    testkit::writeFile(dir.file("launch.tag"), app.launchScript);
    testkit::writeFile(dir.file("i.tag"), app.instructions);
    testkit::writeFile(dir.file("j.jvm"), app.descriptor);

    // The generated files pass every check.
    std::vector<SString> problems;
    for (const char* name : {"launch.tag", "i.tag", "j.jvm"}) {
        TagFile tags;
        ASSERT_TRUE(loadForCheck(dir.file(name), tags, problems));
        checkQuotedValues(dir.file(name), problems);
        if (SString(name) == "launch.tag") checkLaunchScript(dir.file(name), tags, problems);
        if (SString(name) == "i.tag") checkInstructions(dir.file(name), tags, problems);
        if (SString(name) == "j.jvm") checkDescriptorProperties(dir.file(name), tags, problems);
    }
    EXPECT_TRUE(problems.empty()) << problems[0];

    // The shell hands the JVM each option byte for byte.
    TagFile script(dir.file("launch.tag"));
    SString command = script.getTagValue("COMMAND", 0);
    const SString functions = " %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() %CP%()";
    ASSERT_NE(command.find(functions), SString::npos);
    command.erase(command.find(functions), functions.size());
    std::vector<SString> words;
    ASSERT_TRUE(splitSimpleCommand("/j/bin/java" + command.substr(command.find("\" ") + 1), words));
    EXPECT_EQ(words,
              (std::vector<SString>{"/j/bin/java", "--add-opens=java.base/java.lang=ALL-UNNAMED",
                                    "-Xmx64m", "-Dtext=it's \"100\" $x `y`", "app.Main"}));
}

}  // namespace
