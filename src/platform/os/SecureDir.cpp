#include "platform/os/SecureDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "base/RunState.h"
#include "platform/log/Log.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"

namespace {

struct PrivateDirectory {
    SString path;
    UniqueFd fd;
};

RunState<std::vector<PrivateDirectory>> g_directories;

const PrivateDirectory* findDirectory(const SString& path) {
    for (const PrivateDirectory& directory : g_directories.get()) {
        if (directory.path == path) return &directory;
    }
    return nullptr;
}

bool sameEntry(const struct statx& a, const struct statx& b) {
    return a.stx_ino == b.stx_ino && a.stx_dev_major == b.stx_dev_major &&
           a.stx_dev_minor == b.stx_dev_minor;
}

SString joined(const SString& directory, const SString& name) {
    return joinPath(directory, name);
}

}  // namespace

void createPrivateDirectory(std::vector<char>& name, CreationObserver* observer) {
    if (!mkdtemp(name.data())) throw LauncherException(systemErrorText("", errno));
    if (observer) observer->made(name.data());
    // Whatever stands at the name now must be the directory just made: a symbolic link is
    // not followed, and a directory someone else put there is not theirs to hand over.
    UniqueFd fd(open(name.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct statx info;
    if (!fd || !fileStatus(fd.get(), "", AT_EMPTY_PATH, info) || info.stx_uid != geteuid() ||
        fchmod(fd.get(), 0700) != 0) {
        throw LauncherException(SString("The temporary directory ") + name.data() +
                                " was replaced while it was being made.");
    }
    g_directories->push_back(PrivateDirectory{name.data(), std::move(fd)});
}

bool createPrivateFile(std::vector<char>& name) {
    UniqueFd fd(mkostemp(name.data(), O_CLOEXEC));
    return fd && fchmod(fd.get(), 0600) == 0 && fd.close();
}

UniqueFd createFileIn(const SString& directory, const SString& name) {
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    UniqueFd file;
    if (const PrivateDirectory* own = findDirectory(directory)) {
        file.reset(openat(own->fd.get(), name.c_str(), flags, 0600));
        if (file && fchmod(file.get(), 0600) != 0) file.reset(-1);
    } else {
        UniqueFd parent(
            open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!parent) return UniqueFd();
        file.reset(openat(parent.get(), name.c_str(), flags, 0666));
    }
    if (!file && errno == EEXIST) {
        throw LauncherException(joined(directory, name) +
                                " exists already; it is not overwritten.");
    }
    return file;
}

StdioFile createFileStreamIn(const SString& directory, const SString& name) {
    UniqueFd fd = createFileIn(directory, name);
    if (!fd) return StdioFile();
    FILE* stream = fdopen(fd.get(), "wb");
    if (stream) fd.release();
    return StdioFile(stream);
}

bool entryExists(const SString& directory, const SString& name) {
    struct statx info;
    const SString path = joined(directory, name);
    return fileStatus(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, info);
}

HeldDirectory heldPrivateDirectory(const SString& path) {
    const PrivateDirectory* own = findDirectory(path);
    if (!own) return HeldDirectory();
    return HeldDirectory(UniqueFd(fcntl(own->fd.get(), F_DUPFD_CLOEXEC, 0)), path);
}

void removeCreatedTree(const SString& path) {
    DeleteFullDir remover;
    const PrivateDirectory* own = findDirectory(path);
    if (!own) {
        remover.process(path);
        return;
    }
    if (!remover.emptyDirectory(own->fd.get(), path)) return;
    SString parentPath = dirName(path);
    if (parentPath.empty()) parentPath = ".";
    const SString name = baseName(path);
    UniqueFd parent(open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct statx made, there;
    if (!parent || !fileStatus(own->fd.get(), "", AT_EMPTY_PATH, made) ||
        !fileStatus(parent.get(), name.c_str(), AT_SYMLINK_NOFOLLOW, there)) {
        logDeleteFileFailure(path, errno);
        return;
    }
    if (!sameEntry(made, there)) {
        logMessage(path + " is no longer the directory the launcher made; it is left as it is.",
                   LOG_WARNING);
        return;
    }
    if (unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) != 0) logDeleteFileFailure(path, errno);
}
