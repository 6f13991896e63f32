#include "platform/os/InstallDestination.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/PlatformImpl.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// `path` made absolute, with "." components and repeated or trailing "/" removed ("..",
// which a link could make mean something else, stays as typed).
SString absolutePath(const SString& path) {
    SString full = path;
    if (full[0] != '/') full = PlatformImpl::currentDirectory() + "/" + full;
    SString result;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find('/', start);
        if (end == SString::npos) end = full.size();
        const SString part = full.substr(start, end - start);
        if (!part.empty() && part != ".") result += "/" + part;
        start = end + 1;
    }
    return result.empty() ? SString("/") : result;
}

SString parentOf(const SString& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 ? SString("/") : path.substr(0, slash);
}

// 1 when `path` is an empty directory, 0 when it holds entries, -1 (errno set) when it
// cannot be read.
int isEmptyDirectory(const SString& path) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
    if (!dir) return -1;
    while (const dirent* entry = readdir(dir.get())) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) return 0;
    }
    return 1;
}

// The problem with a destination that could not be made (`error`): the first directory on
// the way to it that does not exist, or the first entry there that is not a directory.
SString problemOnTheWay(const SString& destination, int error) {
    SString missing = destination;
    SString parent = parentOf(destination);
    mode_t mode = 0;
    while (!fileMode(parent.c_str(), true, mode) && parent != "/") {
        missing = parent;
        parent = parentOf(parent);
    }
    if (!S_ISDIR(mode)) return parent + " is not a directory.";
    if (missing == destination || (error != ENOENT && error != ENOTDIR)) {
        return systemErrorText("The directory " + destination + " cannot be made: ", error);
    }
    return "The directory " + missing + " does not exist.";
}

}  // namespace

SString prepareInstallDestination(const SString& typed, SString& problem) {
    problem.clear();
    if (typed.empty()) return SString();
    const SString destination = absolutePath(typed);
    mode_t mode = 0;
    if (fileMode(destination.c_str(), true, mode)) {
        if (!S_ISDIR(mode)) {
            problem = destination + " is not a directory.";
            return SString();
        }
        const int empty = isEmptyDirectory(destination);
        if (empty < 0) {
            problem = systemErrorText("The directory " + destination + " cannot be read: ", errno);
        } else if (empty == 0) {
            problem = "The directory " + destination +
                      " is not empty: the JVM is installed only into a new or an empty directory.";
        }
        return problem.empty() ? destination : SString();
    }
    if (mkdir(destination.c_str(), 0777) == 0) return destination;
    problem = problemOnTheWay(destination, errno);
    return SString();
}
