#include "platform/os/HeldDirectory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FileMode.h"

namespace {

constexpr int kEnterFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool sameEntry(const struct statx& a, const struct statx& b) {
    return a.stx_ino == b.stx_ino && a.stx_dev_major == b.stx_dev_major &&
           a.stx_dev_minor == b.stx_dev_minor;
}

}  // namespace

HeldDirectory HeldDirectory::open(const SString& path) {
    return HeldDirectory(UniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), path);
}

SString HeldDirectory::pathOf(const SString& name) const {
    return joinPath(m_path, name);
}

SString HeldDirectory::privacyProblem() const {
    struct statx info;
    if (!fileStatus(m_fd.get(), "", AT_EMPTY_PATH, info) || !S_ISDIR(info.stx_mode)) {
        return "it is not a directory that can be examined";
    }
    if (info.stx_uid != geteuid()) {
        return "it is owned by user " + convertToString(static_cast<long>(info.stx_uid));
    }
    if (info.stx_mode & 022) return "it is writable by group or others";
    return SString();
}

HeldDirectory HeldDirectory::openChild(const SString& name) const {
    return HeldDirectory(UniqueFd(openat(m_fd.get(), name.c_str(), kEnterFlags)), pathOf(name));
}

HeldDirectory HeldDirectory::makeChild(const SString& name, unsigned mode) const {
    if (mkdirat(m_fd.get(), name.c_str(), 0700) != 0) return HeldDirectory();
    HeldDirectory child = openChild(name);
    struct statx info;
    if (!child || !fileStatus(child.fd(), "", AT_EMPTY_PATH, info) || info.stx_uid != geteuid()) {
        errno = EEXIST;
        return HeldDirectory();
    }
    if (!child.setMode(mode)) return HeldDirectory();
    return child;
}

UniqueFd HeldDirectory::createFile(const SString& name, unsigned mode) const {
    UniqueFd file(openat(m_fd.get(), name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (file && fchmod(file.get(), mode) != 0) file.reset(-1);
    return file;
}

bool HeldDirectory::holdsRegularFile(const SString& name) const {
    struct statx info;
    return fileStatus(m_fd.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, info) &&
           S_ISREG(info.stx_mode);
}

bool HeldDirectory::holdsEntry(const SString& name, const HeldDirectory& other) const {
    struct statx there, held;
    return fileStatus(m_fd.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, there) &&
           fileStatus(other.fd(), "", AT_EMPTY_PATH, held) && sameEntry(there, held);
}

int HeldDirectory::renameNoReplace(const SString& from, const SString& to) const {
    if (renameat2(m_fd.get(), from.c_str(), m_fd.get(), to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
    struct statx info;
    if (fileStatus(m_fd.get(), to.c_str(), AT_SYMLINK_NOFOLLOW, info)) return EEXIST;
    if (errno != ENOENT) return errno;
    return renameat(m_fd.get(), from.c_str(), m_fd.get(), to.c_str()) == 0 ? 0 : errno;
}

bool HeldDirectory::removeTree(const SString& name) const {
    return DeleteFullDir().removeEntry(m_fd.get(), name.c_str(), pathOf(name));
}

bool HeldDirectory::removeContents() const {
    return DeleteFullDir().emptyDirectory(m_fd.get(), m_path);
}

bool HeldDirectory::setMode(unsigned mode) const {
    return fchmod(m_fd.get(), mode) == 0;
}

bool HeldDirectory::touch() const {
    return futimens(m_fd.get(), nullptr) == 0;
}

UniqueFd HeldDirectory::duplicate(bool closeOnExec) const {
    return UniqueFd(fcntl(m_fd.get(), closeOnExec ? F_DUPFD_CLOEXEC : F_DUPFD, 0));
}
