// Temporary files and directories with unique names, their clean-up lists, and the
// removal of a launcher that runs as a temporary copy of itself.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/LauncherContext.h"
#include "base/LauncherException.h"
#include "base/Log.h"
#include "platform/FileMode.h"
#include "platform/PlatformImpl.h"

SString PlatformImpl::m_tempDir;
StringDeque PlatformImpl::m_sdqCreatedFiles;
StringDeque PlatformImpl::m_sdqCreatedDrs;
bool PlatformImpl::m_deleteLauncher = false;

void PlatformImpl::resetFileState() {
    m_tempDir.clear();
    m_sdqCreatedFiles.clear();
    m_sdqCreatedDrs.clear();
    m_deleteLauncher = false;
}

static bool isDirectoryPath(const char* path) {
    mode_t mode;
    return path && *path && fileMode(path, true, mode) && S_ISDIR(mode);
}

void PlatformImpl::setSystemTempDir(const SString& dir) {
    if (isDirectoryPath(dir.c_str())) m_tempDir = dir;
}

SString PlatformImpl::getSystemTempDirectory() {
    if (m_tempDir.empty()) m_tempDir = "/var/tmp/";
    return m_tempDir;
}

// A template for a unique name: TMPDIR when it names a directory, else the configured
// temporary directory, else /tmp; then "/qnj" and the characters mkstemp/mkdtemp fill.
static std::vector<char> tempTemplate() {
    SString dir;
    const char* tmpdir = getenv("TMPDIR");
    if (isDirectoryPath(tmpdir)) {
        dir = tmpdir;
    } else {
        SString configured = PlatformImpl::getSystemTempDirectory();
        dir = isDirectoryPath(configured.c_str()) ? configured : SString("/tmp");
    }
    // A relative directory is made absolute: the names end up on command lines of
    // children that run elsewhere.
    if (dir[0] != '/') {
        const SString cwd = PlatformImpl::currentDirectory();
        if (!cwd.empty()) dir = cwd + "/" + dir;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir == "/") dir.clear();
    SString name = dir + "/qnjXXXXXX";
    return std::vector<char>(name.c_str(), name.c_str() + name.size() + 1);
}

// The permissions follow the umask, as for files and directories created the usual way;
// only the unique, exclusive creation differs.
static mode_t currentUmask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

SString PlatformImpl::createTempSubDirectory() {
    std::vector<char> name = tempTemplate();
    if (!mkdtemp(name.data())) throw LauncherException(strerror(errno));
    chmod(name.data(), 0777 & ~currentUmask());
    m_sdqCreatedDrs.push_back(name.data());
    return name.data();
}

SString PlatformImpl::createTempFile() {
    std::vector<char> name = tempTemplate();
    int fd = mkstemp(name.data());
    if (fd < 0) throw LauncherException(SString("Error creating tmp file ") + name.data());
    fchmod(fd, 0666 & ~currentUmask());
    close(fd);
    m_sdqCreatedFiles.push_back(name.data());
    return name.data();
}

void PlatformImpl::addFileToCleanupList(const SString& path) {
    m_sdqCreatedFiles.push_back(path);
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

void PlatformImpl::cleanup() {
    for (const SString& file : m_sdqCreatedFiles) deleteFile(file);
    for (const SString& dir : m_sdqCreatedDrs) deleteFile(dir);
    if (m_deleteLauncher) deleteLauncher();
}

void PlatformImpl::deleteLauncher() {
    SString launcher = LauncherContext::launcherFileName();
    size_t slash = launcher.rfind('/');
    SString directory = slash == SString::npos ? SString() : launcher.substr(0, slash);
    unlink(launcher.c_str());
    if (!directory.empty()) rmdir(directory.c_str());
}
