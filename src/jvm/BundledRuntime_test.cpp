// The runtime a bundle carries, made ready for INSTALL_JVM: named in the cache by the
// entry's content (or, for an old bundle, by the bundle file itself), installed only when
// its bytes are what the bundle says, and handed on as a new descriptor of the run.

#include "jvm/BundledRuntime.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "base/LauncherException.h"
#include "base/Sha256.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/BundleLayout.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "support/Bundles.h"
#include "support/TestKit.h"
#include "support/UstarBuilder.h"

using testkit::exists;
using testkit::listDir;
using testkit::readFile;
using testkit::ScopedEnv;
using testkit::UstarBuilder;

namespace {

const SString kDescriptor =
    "DESC: Bundled Java 17.0.2\nJVM_EXE: bin/java\nJVM_PROPERTIES: java.version=17.0.2\n";

class BundledRuntimeTest : public ::testing::Test {
protected:
    BundledRuntimeTest() { newRun(); }
    ~BundledRuntimeTest() override { RunStatePiece::resetAll(); }

    // What a new run sees: no holds, the cache at `cache` (a path, or "off").
    void newRun(const SString& cache = SString()) {
        m_cache.reset();  // the earlier value goes back first
        m_cache = std::make_unique<ScopedEnv>(
            "QNLAUNCH_CACHE", (cache.empty() ? m_dir.file("cache") : cache).c_str());
        RunStatePiece::resetAll();
        Launcher::setLogFileName(m_dir.file("log"));
        testkit::makeDirs(m_dir.file("temp"));
        PlatformImpl::setSystemTempDir(m_dir.file("temp"));
    }
    // A bundle whose runtime entry holds `archive`, opened as a run opens it.
    const FileIndexEntry& bundleWith(const SString& archive, bool digests = true) {
        const SString path = m_dir.file("bundle" + std::to_string(m_count++));
        testkit::BundleBuilder(m_dir.path())
            .add(FILE_TYPE_JVM, "other.jvm", "DESC: other\n")
            .add(FILE_TYPE_RUNTIME, "runtime.tar", archive)
            .write(path);
        if (!digests) {
            // A bundle of a packer that records no digests: the index, then the trailer.
            SString bytes = readFile(path);
            const size_t block = 8 + 2 * kDigestSize;
            bytes.erase(bytes.size() - kTrailerSize - block, block);
            testkit::writeFile(path, bytes);
        }
        m_bundle = std::make_unique<Bundle>(path);
        m_bundle->readIndex();
        return *m_bundle->index().entriesOfType(FILE_TYPE_RUNTIME).at(0);
    }
    SString logText() const { return readFile(m_dir.file("log")); }

    testkit::LauncherState m_state;
    ScopedEnv m_tmpdir{"TMPDIR", nullptr};
    testkit::ScopedTempDir m_dir;
    std::unique_ptr<ScopedEnv> m_cache;
    std::unique_ptr<Bundle> m_bundle;
    int m_count = 0;
};

}  // namespace

TEST_F(BundledRuntimeTest, TheCopyIsNamedByItsContentAndItsDescriptorIsANewFileOfTheRun) {
    const SString archive = UstarBuilder::runtime("cached").file("jvm", kDescriptor).bytes();
    const FileIndexEntry& entry = bundleWith(archive);
    const SString id = hexText(Sha256::of(archive));
    EXPECT_EQ(bundledRuntimeId(*m_bundle, entry), id);

    const SString path = BundledRuntime(*m_bundle, entry).install();
    EXPECT_EQ(path.compare(0, m_dir.file("temp/qnj").size(), m_dir.file("temp/qnj")), 0) << path;
    const TagFile written(path);
    const SString home = m_dir.file("cache/runtimes/") + id;
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), home);
    EXPECT_EQ(written.getTagValue("JVM_FILE", 0), path);
    EXPECT_EQ(written.getTagValue("JVM_TEMP", 0), "1");
    EXPECT_EQ(written.getTagValue("DESC", 0), "Bundled Java 17.0.2");
    EXPECT_EQ(written.getTagValue("JVM_PROPERTIES", 0), "java.version=17.0.2");
    EXPECT_TRUE(exists(home + "/bin/java"));
    // The copy in the cache stays as the archive has it: nothing of the run goes there.
    EXPECT_EQ(readFile(home + "/jvm"), kDescriptor);
    EXPECT_NE(logText().find("Installed the runtime into " + home), SString::npos);
}

// A bundle without digests names the copy after the bundle file as it is: the same file
// gives the same name, a changed one (its change time moves) another.
TEST_F(BundledRuntimeTest, AnOldBundleNamesItsCopyAfterTheBundleFile) {
    const SString archive = UstarBuilder::runtime("old").file("jvm", kDescriptor).bytes();
    const FileIndexEntry& entry = bundleWith(archive, false);
    ASSERT_TRUE(entry.m_digest.empty());
    const SString id = bundledRuntimeId(*m_bundle, entry);
    EXPECT_EQ(id.compare(0, 7, "bundle-"), 0) << id;
    EXPECT_EQ(id.size(), 7u + 64u);
    EXPECT_EQ(bundledRuntimeId(*m_bundle, entry), id);
    const TagFile written(BundledRuntime(*m_bundle, entry).install());
    EXPECT_EQ(written.getTagValue("JVM_HOME", 0), m_dir.file("cache/runtimes/") + id);

    // A change of mode moves only the change time (once the clock has ticked).
    struct stat before, after;
    ASSERT_EQ(stat(m_bundle->path().c_str(), &before), 0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(chmod(m_bundle->path().c_str(), i % 2 ? 0755 : 0700), 0);
        ASSERT_EQ(stat(m_bundle->path().c_str(), &after), 0);
        if (after.st_ctim.tv_sec != before.st_ctim.tv_sec ||
            after.st_ctim.tv_nsec != before.st_ctim.tv_nsec) {
            break;
        }
        usleep(1000);
    }
    EXPECT_NE(bundledRuntimeId(*m_bundle, entry), id);
}

// Nothing is installed from an archive without a usable descriptor, or one whose bytes are
// not what the bundle records; the reason names what is wrong.
TEST_F(BundledRuntimeTest, NothingIsInstalledFromADamagedRuntime) {
    struct Case {
        const char* what;
        SString archive;
        SString message;
        bool tamper;  // one byte of the archive changed in the bundle after it was packed
    };
    const std::vector<Case> cases = {
        {"no descriptor", UstarBuilder::runtime("x").bytes(),
         "The runtime archive runtime.tar holds no descriptor \"jvm\" at its root.", false},
        {"descriptor in a directory",
         UstarBuilder::runtime("x").file("lib/jvm", kDescriptor).bytes(),
         "The runtime archive runtime.tar holds no descriptor \"jvm\" at its root.", false},
        {"broken descriptor", UstarBuilder::runtime("x").file("jvm", "DESC Bundled\n").bytes(),
         "Missing colon at the end of the tag name.", false},
        {"changed bytes", UstarBuilder::runtime("x").file("jvm", kDescriptor).bytes(),
         "The runtime archive does not have the digest the bundle records: the bundle is "
         "damaged.",
         true},
    };
    for (const Case& c : cases) {
        newRun();
        const FileIndexEntry& entry = bundleWith(c.archive);
        if (c.tamper) {
            // A byte of lib/modules, which the reader alone cannot tell from another.
            SString bytes = readFile(m_bundle->path());
            const size_t at = bytes.find(SString(3000, 'm'));
            ASSERT_NE(at, SString::npos);
            bytes[at + 1000] = 'n';
            testkit::writeFile(m_bundle->path(), bytes);
        }
        try {
            BundledRuntime(*m_bundle, entry).install();
            ADD_FAILURE() << c.what << ": installed";
        } catch (const LauncherException& e) {
            EXPECT_NE(e.getMessage().find(c.message), SString::npos)
                << c.what << ": " << e.getMessage();
        }
        EXPECT_TRUE(listDir(m_dir.file("cache/runtimes")).empty()) << c.what;
        // Nothing of the run but its lock ("qnj" and six characters).
        for (const SString& name : listDir(m_dir.file("temp"))) {
            EXPECT_EQ(name.size(), 9u) << c.what << ": " << name;
        }
    }
}
