#include "launch/ClasspathReferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/LauncherException.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launch/LaunchScript.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/shell/ShellLiterals.h"
#include "support/Bundles.h"
#include "support/StateAccess.h"
#include "support/TestKit.h"

namespace {

using testkit::writeFile;

// A launcher at DIR/app/tool with two embedded class-path archives and a .cp2 file beside
// it; system jars under DIR/sys.
class ClasspathReferences : public ::testing::Test {
protected:
    ClasspathReferences() {
        testkit::StateAccess::setLauncherFile(m_launcher);
        testkit::StateAccess::setOriginalLauncherFile(m_launcher);
        testkit::makeDirs(m_dir.file("tmp"));
        testkit::makeDirs(m_dir.file("app"));
        PlatformImpl::setSystemTempDir(m_dir.file("tmp"));
        writeFile(m_dir.file("stub"), "stub");
        testkit::BundleBuilder(m_dir.file("work"))
            .stub(m_dir.file("stub"))
            .add(FILE_TYPE_CLASSPATH_ARCHIVE, "a.jar", "A")
            .add(FILE_TYPE_CLASSPATH_ARCHIVE, "b.jar", "B")
            .write(m_launcher);
        writeFile(m_dir.file("app/tool.cp2"), "last.jar\n");
        testkit::StateAccess::inputFiles().load(false);
        m_descriptor.setTagValue("CLASSPATH", "-cp ");
        m_descriptor.setTagValue("CLASSPATH_SEPARATOR", ":");
    }

    SString sys(const SString& name) const { return m_dir.file("sys/" + name); }

    // The words of the command of a script that references `jars`.
    std::vector<SString> command(const std::vector<SString>& jars) {
        TagFile tags;
        tags.setTagValue("COMMAND", "/bin/java %CP%() Main");
        for (const SString& jar : jars) tags.appendTagValue("CLASSPATH_REFERENCES", jar);
        LaunchScript script(tags, false);
        script.setContext(&testkit::StateAccess::inputFiles().context());
        return ShellLiterals().split(script.resolve(m_jvm));
    }

    testkit::LauncherState m_state;
    testkit::ScopedTempDir m_dir;
    testkit::ScopedEnv m_cache{"QNLAUNCH_CACHE", "off"};
    const SString m_launcher = m_dir.file("app/tool");
    TagFile m_descriptor;
    JVMFile m_jvm{m_descriptor};
};

TEST_F(ClasspathReferences, JarsThatCannotBeUsedAreNamedWithTheReason) {
    writeFile(sys("good.jar"), "jar");
    ASSERT_EQ(symlink("good.jar", sys("link.jar").c_str()), 0);
    ASSERT_EQ(symlink("gone-1.0.jar", sys("dangling.jar").c_str()), 0);
    testkit::makeDirs(sys("dir.jar"));
    ASSERT_EQ(mkfifo(sys("fifo.jar").c_str(), 0644), 0);
    writeFile(m_dir.file("open/x.jar"), "jar");
    chmod(m_dir.file("open").c_str(), 0777);
    writeFile(sys("theirs.jar"), "jar");
    testkit::chownTo(sys("theirs.jar"), 12345);

    const SString needs = "the application needs ";
    const std::pair<SString, SString> cases[] = {
        {sys("good.jar"), ""},
        {sys("link.jar"), ""},
        {sys("missing.jar"),
         needs + sys("missing.jar") + ", which is missing; install the package that holds it"},
        {sys("dangling.jar"),
         needs + sys("dangling.jar") + ", which is missing; install the package that holds it"},
        {sys("good.jar/x.jar"),
         needs + sys("good.jar/x.jar") + ", which is missing; install the package that holds it"},
        {sys("dir.jar"), needs + sys("dir.jar") + ", which is not a plain file"},
        {sys("fifo.jar"), needs + sys("fifo.jar") + ", which is not a plain file"},
        {"lib/x.jar", needs + "lib/x.jar, which is not named by an absolute path"},
        {sys("a:b.jar"), needs + sys("a:b.jar") + ", which holds the class-path separator :"},
        {m_dir.file("open/x.jar"), needs + m_dir.file("open/x.jar") +
                                       ", which is not used: " + m_dir.file("open") +
                                       " is writable by others and not sticky"},
        {sys("theirs.jar"), needs + sys("theirs.jar") + ", which is not used: " +
                                sys("theirs.jar") + " is owned by user 12345"},
    };
    for (const auto& c : cases) EXPECT_EQ(referencedJarProblem(c.first, ":"), c.second) << c.first;
}

// Referenced jars follow the embedded archives and come before the .cp2 file, each one word
// whatever its path holds.
TEST_F(ClasspathReferences, GoOnTheClassPathAfterTheEmbeddedArchivesAsTheirBytes) {
    const SString odd = sys("it's a \"$HOME\" `id` jar.jar");
    writeFile(odd, "jar");
    writeFile(sys("plain.jar"), "jar");
    const std::vector<SString> words = command({odd, sys("plain.jar")});
    ASSERT_EQ(words.size(), 4u);
    EXPECT_EQ(words[1], "-cp");
    EXPECT_EQ(words[3], "Main");
    const SString classpath = words[2];
    const size_t references = classpath.find(":" + odd + ":");
    ASSERT_NE(references, SString::npos) << classpath;
    EXPECT_EQ(classpath.substr(references), ":" + odd + ":" + sys("plain.jar") + ":last.jar");
    const SString archives = classpath.substr(0, references);
    EXPECT_EQ(archives.substr(archives.size() - 6), "/b.jar") << archives;
    EXPECT_NE(archives.find("/a.jar:"), SString::npos) << archives;
}

TEST_F(ClasspathReferences, AMissingJarEndsTheLaunchBeforeAnythingIsExtracted) {
    writeFile(sys("present.jar"), "jar");
    try {
        command({sys("present.jar"), sys("bcprov.jar")});
        ADD_FAILURE() << "the class path was built without bcprov.jar";
    } catch (const LauncherException& e) {
        EXPECT_EQ(e.getMessage(), "the application needs " + sys("bcprov.jar") +
                                      ", which is missing; install the package that holds it");
    }
    EXPECT_TRUE(testkit::listDir(m_dir.file("tmp")).empty());
}

}  // namespace
