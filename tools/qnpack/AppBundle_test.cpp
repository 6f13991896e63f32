#include "qnpack/AppBundle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "platform/shell/ShellWords.h"
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

// What refuses the application: the exception's message, or the problems one per line.
SString messageOf(const AppOptions& options) {
    try {
        SString text;
        for (const SString& problem : generateAppBundle(options).problems) text += problem + "\n";
        return text;
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
}

std::vector<SString> pathsOf(const std::vector<ClassPathJar>& jars) {
    std::vector<SString> paths;
    for (const ClassPathJar& jar : jars) paths.push_back(jar.path);
    return paths;
}

// A jar of one entry, no manifest.
void writeLibrary(const SString& path) {
    ZipBuilder().add("lib/Thing.class", testkit::classFileHeader(52)).write(path);
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
    testkit::makeDirs(dir.file("lib"));
    writeLibrary(dir.file("lib/one.jar"));
    writeLibrary(dir.file("abs.jar"));
    AppOptions options;
    options.mainJar = writeJar(
        dir, "tool.jar",
        "Main-Class: app.Main\nClass-Path: lib/one.jar missing.jar " + dir.file("abs.jar") + "\n",
        55);
    AppBundle app = generateAppBundle(options);
    EXPECT_EQ(app.mainClass, "app.Main");
    // Relative entries are resolved against the jar's directory; missing ones are left out.
    EXPECT_EQ(pathsOf(app.classPath),
              (std::vector<SString>{dir.file("lib/one.jar"), dir.file("abs.jar")}));
    EXPECT_TRUE(app.mainJarHasClassPath);
    ASSERT_EQ(app.warnings.size(), 1u);
    EXPECT_NE(app.warnings[0].find("missing.jar"), SString::npos);
    EXPECT_EQ(app.javaConstraint, "11+");
    EXPECT_EQ(app.descriptorName, "java-11+.jvm");
    EXPECT_NE(app.launchScript.find("DESC: tool\n"), SString::npos);
    EXPECT_NE(app.launchScript.find("QUIET: 1\n"), SString::npos);
    EXPECT_NE(app.launchScript.find("CLASS_DATA: 1\n"), SString::npos);
    EXPECT_NE(app.instructions.find("EXIT 1"), SString::npos);

    // The command line wins over the manifest.
    options.mainClass = "other.Start";
    options.classPathGiven = true;
    options.classPath = {dir.file("abs.jar")};
    options.java = "17..21";
    options.name = "My Tool";
    options.gui = true;
    app = generateAppBundle(options);
    EXPECT_EQ(app.mainClass, "other.Start");
    EXPECT_EQ(pathsOf(app.classPath), (std::vector<SString>{dir.file("abs.jar")}));
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
    // The advice comes once, as for a JVM_PROPERTIES value.
    const SString advice =
        "not a version constraint; write N+ (N or newer) or N..M (N up to M), e.g. 17+ or 11..17";
    options.java = "17++";
    EXPECT_EQ(messageOf(options), "--java 17++: " + advice);
    options.java = "17";
    EXPECT_EQ(messageOf(options), "--java 17: " + advice);
    options.java = "17..";
    EXPECT_EQ(messageOf(options),
              "--java 17..: the range has no upper bound; write 17+ for 17 or newer");
    options.java.clear();
    options.mainJar = writeJar(dir, "dir.jar", "Main-Class: app.Main\nClass-Path: classes/\n");
    EXPECT_NE(messageOf(options).find("is a directory"), SString::npos);
    options.mainJar = dir.file("absent.jar");
    EXPECT_EQ(messageOf(options),
              dir.file("absent.jar") + ": cannot be read: No such file or directory");
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
    // Options from the environment after the packer's, the runtime files' after them.
    const SString functions = " %ENV_OPTIONS%(\"JAVA_OPTS\", \"" + optionsVariableName(options) +
                              "\") %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() %CP%()";
    ASSERT_NE(command.find(functions), SString::npos);
    command.erase(command.find(functions), functions.size());
    std::vector<SString> words;
    ASSERT_TRUE(splitSimpleCommand("/j/bin/java" + command.substr(command.find("\" ") + 1), words));
    EXPECT_EQ(words,
              (std::vector<SString>{"/j/bin/java", "--add-opens=java.base/java.lang=ALL-UNNAMED",
                                    "-Xmx64m", "-Dtext=it's \"100\" $x `y`", "app.Main"}));
}

}  // namespace

namespace {

TEST(AppBundle, TheAdministratorsJavaComesBeforeTheNewestUnlessAskedOtherwise) {
    auto hints = [](bool preferNewest) {
        const SString text = jvmDescriptorText("17+", preferNewest);
        const size_t start = text.find("PATH_HINT:\n") + 11;
        return testkit::splitLines(text.substr(start, text.find("/:\n") - start));
    };
    const std::vector<SString> usual = hints(false);
    ASSERT_GE(usual.size(), 4u);
    EXPECT_EQ(usual[0], "  #JAVA_HOME#");
    EXPECT_EQ(usual[1], "  %JAVA_ON_PATH%");
    EXPECT_EQ(usual[2], "  usr/lib/jvm/*");
    EXPECT_EQ(usual.back(), "  #HOME#/.gradle/jdks/*");
    std::vector<SString> newest = hints(true);
    EXPECT_EQ(newest[0], "  #JAVA_HOME#");
    EXPECT_EQ(newest[1], "  usr/lib/jvm/*");
    EXPECT_EQ(newest.back(), "  %JAVA_ON_PATH%");
    // The same hints, in another order.
    std::sort(newest.begin(), newest.end());
    std::vector<SString> sorted = usual;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(newest, sorted);

    ScopedTempDir dir;
    AppOptions options;
    options.mainJar = writeJar(dir, "t.jar", "Main-Class: app.Main\n");
    EXPECT_TRUE(generateAppBundle(options).shippedDescriptor);
    options.preferNewest = true;
    const AppBundle app = generateAppBundle(options);
    EXPECT_FALSE(app.shippedDescriptor);
    EXPECT_EQ(app.descriptor, jvmDescriptorText("17+", true));
}

TEST(AppBundle, TheLaunchScriptTakesLauncherOptionsFirstAndNamesSystemJars) {
    ScopedTempDir dir;
    testkit::makeDirs(dir.file("system/sub"));
    writeLibrary(dir.file("system/one.jar"));
    writeLibrary(dir.file("system/sub/two.jar"));
    writeLibrary(dir.file("own.jar"));
    AppOptions options;
    options.mainJar = writeJar(dir, "t.jar",
                               "Main-Class: app.Main\nClass-Path: system/one.jar own.jar "
                               "system/sub/two.jar\n");
    options.systemJars = true;
    options.systemPrefix = dir.file("system");
    const AppBundle app = generateAppBundle(options);
    EXPECT_NE(app.launchScript.find("LAUNCHER_OPTIONS_FIRST: 1\n"), SString::npos);
    EXPECT_NE(app.launchScript.find("CLASSPATH_REFERENCES:\n  " + dir.file("system/one.jar") +
                                    "\n  " + dir.file("system/sub/two.jar") + "\n/:\n"),
              SString::npos)
        << app.launchScript;
    ASSERT_EQ(app.classPath.size(), 3u);
    EXPECT_FALSE(app.classPath[1].reference);

    // The generated script passes the launch-script checks.
    testkit::writeFile(dir.file("launch.tag"), app.launchScript);
    TagFile tags;
    std::vector<SString> problems;
    ASSERT_TRUE(loadForCheck(dir.file("launch.tag"), tags, problems));
    checkLaunchScript(dir.file("launch.tag"), tags, problems);
    checkClasspathReferences(dir.file("launch.tag"), tags, problems);
    EXPECT_TRUE(problems.empty()) << problems[0];
    EXPECT_EQ(tags.getTagValueCount("CLASSPATH_REFERENCES"), 2);
}

// The bundle's own options variable is named after the file written, else the application.
TEST(AppBundle, TheOptionsVariableIsTheBundlesNameUpperCased) {
    ScopedTempDir dir;
    const SString jar = writeJar(dir, "tool.jar", "Main-Class: app.Main\n");
    const struct {
        const char* name;
        const char* bundleName;
        const char* variable;
    } cases[] = {
        {"", "", "TOOL_OPTS"},
        {"", "my-tool", "MY_TOOL_OPTS"},
        {"Other Name", "pdftk.bin", "PDFTK_BIN_OPTS"},
        {"Other Name", "", "OTHER_NAME_OPTS"},
        {"", "caf\xc3\xa9 2.x", "CAF___2_X_OPTS"},
        {"", "java", "JAVA_OPTS"},
    };
    for (const auto& c : cases) {
        AppOptions options;
        options.mainJar = jar;
        options.name = c.name;
        options.bundleName = c.bundleName;
        EXPECT_EQ(optionsVariableName(options), c.variable) << c.bundleName;
        const SString script = generateAppBundle(options).launchScript;
        const SString call =
            SString(c.variable) == "JAVA_OPTS"
                ? "%ENV_OPTIONS%(\"\"JAVA_OPTS\"\")"
                : "%ENV_OPTIONS%(\"\"JAVA_OPTS\"\", \"\"" + SString(c.variable) + "\"\")";
        EXPECT_NE(script.find(call), SString::npos) << script;
    }
}

TEST(AppBundle, ManifestValuesThatWouldBreakTheLaunchAreRefusedWithFileAndValue) {
    struct Case {
        const char* manifest;
        const char* mainClass;  // --main-class, or null
        const char* expected;   // "%J" stands for the jar
    };
    const Case cases[] = {
        // The bundle's every run would end in a shell syntax error.
        {"Main-Class: app.Main\nAdd-Opens: a%00b\n", nullptr,
         "%J: Add-Opens: a%00b: a%00b is not MODULE/PACKAGE\n"},
        // The bundle would run java -version.
        {"Main-Class: -version\n", nullptr,
         "%J: Main-Class: -version: not a Java class name: it starts with -, so java would "
         "read it as an option\n"},
        {"Main-Class: app.Main\n", "-jar",
         "--main-class -jar: not a Java class name: it starts with -, so java would read it as "
         "an option\n"},
        {"Main-Class: app.Main x\n", nullptr,
         "%J: Main-Class: app.Main x: not a Java class name: Main x is not a Java identifier\n"},
        {"Main-Class: app.Main\nAdd-Exports: java.base/sun.nio.ch java.base\n", nullptr,
         "%J: Add-Exports: java.base/sun.nio.ch java.base: java.base is not MODULE/PACKAGE\n"},
        {"Main-Class: app.Main\nEnable-Native-Access: ALL-UNNAMED $(id)\n", nullptr,
         "%J: Enable-Native-Access: ALL-UNNAMED $(id): $(id) is neither ALL-UNNAMED nor a "
         "module name: $(id) is not a Java identifier\n"},
    };
    ScopedTempDir dir;
    for (const Case& c : cases) {
        AppOptions options;
        options.mainJar = writeJar(dir, "t.jar", c.manifest);
        if (c.mainClass) options.mainClass = c.mainClass;
        SString expected = c.expected;
        const size_t jar = expected.find("%J");
        if (jar != SString::npos) expected.replace(jar, 2, options.mainJar);
        EXPECT_EQ(messageOf(options), expected) << c.manifest;
    }

    // Sound values become the JVM options java -jar would take from them.
    AppOptions options;
    options.mainJar = writeJar(dir, "t.jar",
                               "Main-Class: app/Main\nAdd-Exports: java.base/sun.nio.ch "
                               "jdk.compiler/com.sun.tools.javac.api\n"
                               "Enable-Native-Access: ALL-UNNAMED, my.module\n");
    const AppBundle app = generateAppBundle(options);
    EXPECT_EQ(app.mainClass, "app.Main");
    EXPECT_NE(
        app.launchScript.find("--add-exports=java.base/sun.nio.ch=ALL-UNNAMED "
                              "--add-exports=jdk.compiler/com.sun.tools.javac.api=ALL-UNNAMED "
                              "--enable-native-access=ALL-UNNAMED,my.module "),
        SString::npos)
        << app.launchScript;
}

}  // namespace
