#include "launcher/LauncherInputFiles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "base/LauncherException.h"
#include "jvm/JVMFile.h"
#include "launch/LaunchScript.h"
#include "launcher/Instructions.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

// Instructions whose second line is the label `label`, so a test can tell them apart.
SString instructions(const SString& label) {
    return "INSTRUCTIONS:\n  NOP\n  :" + label + "\n/:\n";
}
SString descriptor(const SString& name) {
    return "JVM_PROPERTIES: x\nNAME: " + name + "\n";
}
SString script(const SString& desc) {
    return "COMMAND: java\nDESC: " + desc + "\n";
}

class InputFiles : public ::testing::Test {
protected:
    void SetUp() override { testkit::writeFile(dir.file("stub"), "STUB"); }

    // Writes the bundle and points the launcher at it.
    SString bundle(testkit::BundleBuilder& builder) {
        SString path = builder.stub(dir.file("stub")).write(dir.file("bundle"));
        testkit::StateAccess::setLauncherFile(path);
        return path;
    }
    // The usual bundle: instructions, two descriptors and a launch script.
    SString standardBundle() {
        testkit::BundleBuilder builder(dir.path());
        builder.add(FILE_TYPE_INSTRUCTIONS, "instr.tag", instructions("EMBEDDED"))
            .add(FILE_TYPE_JVM, "a.jvm", descriptor("embedded-a"))
            .add(FILE_TYPE_LAUNCH_SCRIPT, "script.tag", script("Embedded title"))
            .add(FILE_TYPE_JVM, "b.jvm", descriptor("embedded-b"));
        return bundle(builder);
    }
    TagFile inputFile(const SString& content) {
        testkit::writeFile(dir.file("input.in"), content);
        return TagFile(dir.file("input.in"));
    }
    static LauncherInputFiles& files() { return testkit::StateAccess::inputFiles(); }
    static std::vector<SString> descriptorNames() {
        std::vector<SString> names;
        for (long i = 0; i < files().m_jvmFiles.getJVMFileCount(); ++i) {
            names.push_back(files().m_jvmFiles.getJVMFile(i)->getTagFile().getTagValue("NAME", 0));
        }
        return names;
    }
    static bool instructionsHaveLabel(const SString& label) {
        try {
            return files().m_instructions && files().m_instructions->gotoLabel(label) == 1;
        } catch (...) {
            return false;
        }
    }
    SString inputFailure(const SString& content) {
        try {
            files().load(inputFile(content));
        } catch (const LauncherException& e) {
            return e.getMessage();
        }
        return "no failure";
    }

    testkit::LauncherState state;
    testkit::ScopedTempDir dir;
};

TEST_F(InputFiles, EmbeddedFilesBuildTheObjects) {
    standardBundle();
    files().load(true);
    EXPECT_TRUE(files().isLoaded());
    EXPECT_TRUE(instructionsHaveLabel("EMBEDDED"));
    ASSERT_NE(files().m_launchScript, nullptr);
    EXPECT_EQ(files().m_launchScript->m_description, "Embedded title");
    EXPECT_EQ(testkit::StateAccess::title(), "Embedded title");
    EXPECT_EQ(descriptorNames(), (std::vector<SString>{"embedded-a", "embedded-b"}));
    EXPECT_TRUE(files().m_jvmFilesLoaded);
}

TEST_F(InputFiles, IndexIsLoggedEntryByEntryAndOnlyOnce) {
    standardBundle();
    Launcher::setLogFileName(dir.file("log"));
    files().load(false);
    const std::vector<std::pair<long, SString>> entries = {{0, instructions("EMBEDDED")},
                                                           {1, descriptor("embedded-a")},
                                                           {2, script("Embedded title")},
                                                           {1, descriptor("embedded-b")}};
    const char* names[] = {"instr.tag", "a.jvm", "script.tag", "b.jvm"};
    SString expected = "------------------\n";
    long offset = 4;  // the stub
    for (size_t i = 0; i < entries.size(); ++i) {
        long length = static_cast<long>(entries[i].second.size());
        expected += "file type: " + std::to_string(entries[i].first) +
                    "\n  file id: " + std::to_string(i + 1) +
                    "\n  length: " + std::to_string(length) +
                    "\n  offset: " + std::to_string(offset) + "\n  file name: " + names[i] + "\n";
        offset += length;
    }
    EXPECT_EQ(testkit::readFile(dir.file("log")), expected);
    EXPECT_EQ(files().m_instructions, nullptr);
    EXPECT_EQ(files().m_jvmFiles.getJVMFileCount(), 0);

    // A second call neither reopens the launcher nor logs again.
    ASSERT_EQ(unlink(Launcher::getLauncherFileName().c_str()), 0);
    files().load(true);
    files().load(false);
    EXPECT_EQ(testkit::readFile(dir.file("log")), expected);
    EXPECT_EQ(files().getFileCount(), 4);
}

TEST_F(InputFiles, LauncherWithoutAppendedDataLoadsNothing) {
    testkit::StateAccess::setLauncherFile(dir.file("stub"));
    testkit::writeFile(dir.file("stub"), "a launcher without any appended data");
    files().load(true);
    EXPECT_TRUE(files().isLoaded());
    EXPECT_EQ(files().getFileCount(), 0);
    EXPECT_EQ(files().m_instructions, nullptr);
    EXPECT_EQ(files().m_launchScript, nullptr);
}

TEST_F(InputFiles, FirstInstructionsAndLaunchScriptWin) {
    testkit::BundleBuilder builder(dir.path());
    builder.add(FILE_TYPE_LAUNCH_SCRIPT, "s1", script("first"))
        .add(FILE_TYPE_INSTRUCTIONS, "i1", instructions("FIRST"))
        .add(FILE_TYPE_INSTRUCTIONS, "i2", instructions("SECOND"))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "s2", script("second"));
    bundle(builder);
    files().load(true);
    EXPECT_TRUE(instructionsHaveLabel("FIRST"));
    EXPECT_EQ(files().m_launchScript->m_description, "first");
    EXPECT_EQ(testkit::StateAccess::title(), "first");
}

TEST_F(InputFiles, EmbeddedSyntaxErrorNamesTheEntryAndItsOwnLine) {
    testkit::BundleBuilder builder(dir.path());
    builder.add(FILE_TYPE_JVM, "good.jvm", descriptor("g"))
        .add(FILE_TYPE_JVM, "bad.jvm", "A: 1\nno colon\n")
        .add(FILE_TYPE_INSTRUCTIONS, "later", instructions("LATER"));
    bundle(builder);
    try {
        files().load(true);
        FAIL() << "no exception";
    } catch (const LauncherException& e) {
        EXPECT_EQ(
            e.getMessage(),
            "Syntax error in bad.jvm at line 2 ==> Missing colon at the end of the tag name.");
    }
    EXPECT_FALSE(files().isLoaded());
    EXPECT_EQ(files().m_instructions, nullptr);
}

TEST_F(InputFiles, InputFileNamesWinOverEmbeddedFiles) {
    standardBundle();
    testkit::writeFile(dir.file("disk.instr"), instructions("DISK"));
    testkit::writeFile(dir.file("disk.script"), script("Disk title"));
    testkit::writeFile(dir.file("one.jvm"), descriptor("disk-one"));
    testkit::writeFile(dir.file("two.jvm"), descriptor("disk-two"));
    files().load(inputFile("INSTRUCTIONS: " + dir.file("disk.instr") +
                           "\nLAUNCHSCRIPT: " + dir.file("disk.script") + "\nJVM:\n  " +
                           dir.file("one.jvm") + "\n  \"\"\n  " + dir.file("two.jvm") + "\n/:\n"));
    files().load(true);
    EXPECT_TRUE(instructionsHaveLabel("DISK"));
    EXPECT_EQ(files().m_launchScript->m_description, "Disk title");
    EXPECT_EQ(testkit::StateAccess::title(), "Disk title");
    EXPECT_EQ(descriptorNames(), (std::vector<SString>{"disk-one", "disk-two"}));
    EXPECT_EQ(files().m_tagFiles.size(), 4);
    EXPECT_EQ(files().getFileCount(), 4);
}

TEST_F(InputFiles, JVMTagWithOnlyAnEmptyValueLeavesNoDescriptors) {
    standardBundle();
    files().load(inputFile("JVM: \"\"\n"));
    files().load(true);
    EXPECT_TRUE(descriptorNames().empty());
    EXPECT_TRUE(instructionsHaveLabel("EMBEDDED"));
}

TEST_F(InputFiles, TitleOrderDescriptionThenUITitleThenEmbeddedScript) {
    standardBundle();
    testkit::writeFile(dir.file("disk.script"), script("Disk title"));
    files().load(inputFile("UI_TITLE: Chosen\\u0021\nLAUNCHSCRIPT: " + dir.file("disk.script")));
    files().load(true);
    EXPECT_EQ(testkit::StateAccess::title(), "Chosen!");
    testkit::StateAccess::inputFiles().clear();
    testkit::StateAccess::setLauncherFile(Launcher::getLauncherFileName());

    files().load(inputFile("UI_TITLE: Chosen\n"));
    EXPECT_EQ(testkit::StateAccess::title(), "Chosen");
    files().load(true);
    EXPECT_EQ(testkit::StateAccess::title(), "Embedded title");
}

TEST_F(InputFiles, VerifyClassNeedsBothTags) {
    files().load(inputFile("VERIFY_CLASSPATH: /v.jar\n"));
    SString path = "unset", name = "unset";
    files().m_jvmFiles.writeVerifyJar(path, name);
    EXPECT_EQ(path, "");
    EXPECT_EQ(name, "");
    files().load(inputFile("VERIFY_CLASSPATH: /v.jar\nVERIFY_CLASS_NAME: Check\n"));
    files().m_jvmFiles.writeVerifyJar(path, name);
    EXPECT_EQ(path, "/v.jar");
    EXPECT_EQ(name, "Check");
}

TEST_F(InputFiles, FailuresOfNamedFilesCarryTheirPrefix) {
    const SString missing = dir.file("missing");
    EXPECT_EQ(inputFailure("INSTRUCTIONS: " + missing),
              "Error loading instructions file.Unable to load input file: " + missing);
    EXPECT_EQ(inputFailure("LAUNCHSCRIPT: " + missing),
              "Error loading launch script.Unable to load input file: " + missing);
    testkit::writeFile(dir.file("good.jvm"), descriptor("good"));
    testkit::writeFile(dir.file("bad.jvm"), "\n\nbad line\n");
    EXPECT_EQ(inputFailure("JVM:\n  " + dir.file("good.jvm") + "\n  " + dir.file("bad.jvm") +
                           "\n  " + missing + "\n/:\n"),
              "Error loading JVM file.Syntax error in " + dir.file("bad.jvm") +
                  " at line 3 ==> Missing colon at the end of the tag name.");
    EXPECT_EQ(descriptorNames(), (std::vector<SString>{"good"}));
    EXPECT_EQ(files().m_tagFiles.size(), 1);
}

TEST_F(InputFiles, LookupsByPositionAndId) {
    testkit::BundleBuilder builder(dir.path());
    builder.add(3, "first", "1", 5).add(3, "second", "2", 6).add(3, "third", "3", 5);
    bundle(builder);
    files().load(false);
    EXPECT_EQ(files().getFileAt(-1), nullptr);
    EXPECT_EQ(files().getFileAt(3), nullptr);
    EXPECT_EQ(files().getFileAt(2)->m_name, "third");
    EXPECT_EQ(files().getFile(5)->m_name, "first");
    EXPECT_EQ(files().getFile(6)->m_name, "second");
    EXPECT_EQ(files().getFile(7), nullptr);
    EXPECT_EQ(files().getFile(-1), nullptr);
}

TEST_F(InputFiles, ExtractAllWritesEveryFileAndAReplayingInputFile) {
    testkit::BundleBuilder builder(dir.path());
    builder.add(FILE_TYPE_INSTRUCTIONS, "i1.tag", instructions("ONE"))
        .add(FILE_TYPE_APPLICATION_ARCHIVE, "app.jar", SString("PK\0\x03\x04", 5))
        .add(FILE_TYPE_JVM, "a.jvm", descriptor("a"))
        .add(FILE_TYPE_LAUNCH_SCRIPT, "s1.tag", script("one"))
        .add(FILE_TYPE_JVM, "b.jvm", descriptor("b"))
        .add(FILE_TYPE_INSTRUCTIONS, "i2.tag", "INSTRUCTIONS:   NOP  \n\n")
        .add(FILE_TYPE_LAUNCH_SCRIPT, "s2.tag", script("two"));
    bundle(builder);
    files().load(false);
    testkit::makeDirs(dir.file("out"));
    ASSERT_EQ(chdir(dir.file("out").c_str()), 0);
    files().extractAll();
    EXPECT_EQ(testkit::listDir(dir.file("out")),
              (std::vector<SString>{"a.jvm", "app.jar", "b.jvm", "i1.tag", "i2.tag", "input.tag",
                                    "s1.tag", "s2.tag"}));
    EXPECT_EQ(testkit::readFile(dir.file("out/i2.tag")), "INSTRUCTIONS:   NOP  \n\n");
    EXPECT_EQ(testkit::readFile(dir.file("out/app.jar")), SString("PK\0\x03\x04", 5));
    EXPECT_EQ(testkit::readFile(dir.file("out/input.tag")),
              "ACTION:  RUN_INSTRUCTIONS\n"
              "INSTRUCTIONS:  i2.tag\n"
              "JVM:\n"
              "  a.jvm\n"
              "  b.jvm\n"
              "/:\n"
              "LAUNCHSCRIPT:  s2.tag\n");
}

// An index naming a file that cannot be made is refused before anything is written.
TEST_F(InputFiles, ExtractAllRefusesAnUnsafeNameBeforeWritingAnything) {
    testkit::BundleBuilder builder(dir.path());
    builder.add(FILE_TYPE_JVM, "a.jvm", descriptor("a"))
        .add(FILE_TYPE_CLASSPATH_ARCHIVE, "..", "x")
        .add(FILE_TYPE_JVM, "b.jvm", descriptor("b"));
    bundle(builder);
    files().load(false);
    testkit::makeDirs(dir.file("out"));
    ASSERT_EQ(chdir(dir.file("out").c_str()), 0);
    EXPECT_THROW(files().extractAll(), LauncherException);
    EXPECT_EQ(testkit::listDir(dir.file("out")), std::vector<SString>{});
}

}  // namespace
