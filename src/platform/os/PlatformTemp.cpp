// Temporary files and directories with unique names, made only in directories that no one
// else can tamper with, their clean-up lists, and the removal of a launcher that runs as a
// temporary copy of itself.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/FileMode.h"
#include "platform/os/RunLock.h"
#include "platform/os/SecureDir.h"
#include "platform/os/TrustedPath.h"

RunState<SString> PlatformImpl::m_launcherFile;
RunState<SString> PlatformImpl::m_tempDir;
RunState<StringDeque> PlatformImpl::m_sdqCreatedFiles;
RunState<StringDeque> PlatformImpl::m_sdqCreatedDrs;
RunState<bool> PlatformImpl::m_deleteLauncher;

// Directories refused this run, so that each is reported once.
static RunState<StringDeque> g_refusedTempDirs;
// Whether the temporary directory was given (-qn:tempdir): it then comes before TMPDIR, so
// that the advice to use it when TMPDIR is full can work.
static RunState<bool> g_tempDirGiven;

static bool isDirectoryPath(const char* path) {
    mode_t mode;
    return path && *path && fileMode(path, true, mode) && S_ISDIR(mode);
}

void PlatformImpl::setSystemTempDir(const SString& dir) {
    if (!isDirectoryPath(dir.c_str())) return;
    m_tempDir = dir;
    g_tempDirGiven = true;
}

SString PlatformImpl::getSystemTempDirectory() {
    if (m_tempDir->empty()) m_tempDir = "/var/tmp/";
    return m_tempDir;
}

// `dir` made absolute without trailing separators ("" for the root): the names end up on
// command lines of children that run elsewhere.
static SString absoluteDirectory(SString dir) {
    if (dir[0] != '/') {
        const SString cwd = PlatformImpl::currentDirectory();
        if (!cwd.empty()) dir = cwd + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir == "/") dir.clear();
    return dir;
}

// Whether new names may be made in `dir`: no one else may be able to rename or replace
// what the launcher makes there, no name made there may hold a line break, and none a
// colon, which would split it on a Java class path.
static bool isSafeTempDirectory(const SString& dir) {
    SString reason = holdsLineBreak(dir) ? SString("its name holds a line break")
                     : dir.find(':') != SString::npos
                         ? SString("its name holds a colon, which a class path cannot carry")
                         : untrustedPathReason(dir.empty() ? "/" : dir);
    if (reason.empty()) return true;
    for (const SString& refused : g_refusedTempDirs.get()) {
        if (refused == dir) return false;
    }
    g_refusedTempDirs->push_back(dir);
    logMessage("The temporary directory " + showLineBreaks(dir) +
                   " is not used: " + showLineBreaks(reason) + ".",
               LOG_WARNING);
    return false;
}

// A template for a unique name: the first of TMPDIR, the configured temporary directory
// and /tmp that names a directory others cannot tamper with (a directory given with
// -qn:tempdir comes before TMPDIR); then "/", the run's entry prefix there and the
// characters mkstemp/mkdtemp fill. Throws LauncherException when none can be used.
static std::vector<char> tempTemplate() {
    const char* tmpdir = getenv("TMPDIR");
    const SString configured = PlatformImpl::getSystemTempDirectory();
    const char* first = g_tempDirGiven ? configured.c_str() : tmpdir;
    const char* second = g_tempDirGiven ? tmpdir : configured.c_str();
    for (const char* candidate : {first, second, "/tmp"}) {
        if (!isDirectoryPath(candidate)) continue;
        const SString dir = absoluteDirectory(candidate);
        if (!isSafeTempDirectory(dir)) continue;
        // The run's entry prefix there ties each name to the run's lock (see RunLock.h).
        SString prefix = runEntryPrefix(dir);
        if (prefix.empty()) prefix = "qnj";
        const SString name = dir + "/" + prefix + "XXXXXX";
        return std::vector<char>(name.c_str(), name.c_str() + name.size() + 1);
    }
    throw LauncherException(
        "No temporary directory can be used safely; set TMPDIR to a directory that only you "
        "can write to.");
}

SString PlatformImpl::createTempSubDirectory() {
    std::vector<char> name = tempTemplate();
    createPrivateDirectory(name);
    m_sdqCreatedDrs->push_back(name.data());
    return name.data();
}

SString PlatformImpl::createTempFile() {
    std::vector<char> name = tempTemplate();
    if (!createPrivateFile(name)) {
        throw LauncherException(SString("Error creating tmp file ") + name.data());
    }
    m_sdqCreatedFiles->push_back(name.data());
    return name.data();
}

void PlatformImpl::addFileToCleanupList(const SString& path) {
    m_sdqCreatedFiles->push_back(path);
}

static void removeFirst(StringDeque& list, const SString& path) {
    for (long i = 0; i < list.size(); ++i) {
        if (list.at(i) == path) {
            list.erase(i);
            return;
        }
    }
}

void PlatformImpl::removeFileFromCleanupList(const SString& path) {
    removeFirst(m_sdqCreatedFiles, path);
}

void PlatformImpl::removeDirFromCleanupList(const SString& path) {
    removeFirst(m_sdqCreatedDrs, path);
}

void PlatformImpl::addDirToCleanupList(const SString& path) {
    m_sdqCreatedDrs->push_back(path);
}

bool PlatformImpl::mentionsTemporaryEntry(const SString& text) {
    for (const StringDeque* list : {&m_sdqCreatedFiles.get(), &m_sdqCreatedDrs.get()}) {
        for (const SString& path : *list) {
            if (!path.empty() && text.find(path) != SString::npos) return true;
        }
    }
    return false;
}

void PlatformImpl::cleanupBeforeReplacement(const SString& keptEntry) {
    for (const SString& file : m_sdqCreatedFiles.get()) deleteFile(file);
    for (const SString& dir : m_sdqCreatedDrs.get()) removeCreatedTree(dir);
    m_sdqCreatedFiles->clear();
    m_sdqCreatedDrs->clear();
    // A launcher that is itself a temporary copy goes as it would at its end.
    if (m_deleteLauncher) deleteLauncher();
    m_deleteLauncher = false;
    handRunLockOver(keptEntry);
}

void PlatformImpl::cleanup() {
    for (const SString& file : m_sdqCreatedFiles.get()) deleteFile(file);
    for (const SString& dir : m_sdqCreatedDrs.get()) removeCreatedTree(dir);
    if (m_deleteLauncher) deleteLauncher();
    releaseRunLocks();
}

void PlatformImpl::deleteLauncher() {
    const SString& launcher = m_launcherFile.get();
    const SString directory = dirName(launcher);
    unlink(launcher.c_str());
    if (!directory.empty()) rmdir(directory.c_str());
    releaseInheritedRunLock(directory);
}
