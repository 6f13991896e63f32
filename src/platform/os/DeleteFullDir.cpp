#include "platform/os/DeleteFullDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/UniqueFd.h"
#include "platform/log/Log.h"
#include "platform/os/SystemError.h"

namespace {

// Deeper trees than this are not the launcher's; their rest is left and logged.
constexpr int kMaxDepth = 512;

// Closes a directory stream when it goes out of scope.
class DirStream {
public:
    explicit DirStream(int fd) : m_dir(fd >= 0 ? fdopendir(fd) : nullptr) {
        if (!m_dir && fd >= 0) close(fd);
    }
    ~DirStream() {
        if (m_dir) closedir(m_dir);
    }
    DirStream(const DirStream&) = delete;
    DirStream& operator=(const DirStream&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

}  // namespace

int DeleteFullDir::unlinkEntry(int dirFd, const char* name, int flags) {
    return unlinkat(dirFd, name, flags) == 0 ? 0 : errno;
}

bool DeleteFullDir::emptyDirectory(int dirFd, const SString& shownPath) {
    // The names are read first: removing entries while reading could skip some.
    std::vector<SString> names;
    {
        DirStream stream(openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!stream.get()) {
            logDeleteFileFailure(shownPath, errno);
            return false;
        }
        while (struct dirent* entry = readdir(stream.get())) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
                names.push_back(entry->d_name);
            }
        }
    }
    bool empty = true;
    for (const SString& name : names) {
        if (!removeEntry(dirFd, name.c_str(), shownPath + "/" + name)) empty = false;
    }
    return empty;
}

bool DeleteFullDir::removeEntry(int dirFd, const char* name, const SString& shownPath) {
    // Whatever the entry is now decides: unlinking never follows a link, and a directory is
    // entered only through a descriptor opened without following one.
    int error = unlinkEntry(dirFd, name, 0);
    if (error == 0) return true;
    if (error != EISDIR && error != EPERM) {
        // An entry that vanished meanwhile is reported, but nothing of it is left.
        logDeleteFileFailure(shownPath, error);
        return error == ENOENT;
    }
    UniqueFd child(openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child) {
        logDeleteFileFailure(shownPath, error);
        return false;
    }
    if (m_depth >= kMaxDepth) {
        logDeleteFileFailure(shownPath, ELOOP);
        return false;
    }
    ++m_depth;
    const bool empty = emptyDirectory(child.get(), shownPath);
    --m_depth;
    if (!empty) return false;
    error = unlinkEntry(dirFd, name, AT_REMOVEDIR);
    if (error == 0) return true;
    logDeleteFileFailure(shownPath, error);
    return false;
}

bool DeleteFullDir::process(const SString& path) {
    SString trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    const SString parent = slash == SString::npos ? SString(".")
                           : slash == 0           ? SString("/")
                                                  : trimmed.substr(0, slash);
    const SString name = slash == SString::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "/" || name == "." || name == "..") {
        logDeleteFileFailure(path, EINVAL);
        return false;
    }
    UniqueFd directory(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory) {
        logDeleteFileFailure(path, errno);
        return false;
    }
    return removeEntry(directory.get(), name.c_str(), path);
}

void logDeleteFileFailure(const SString& path, int errorNumber) {
    logMessage(systemErrorText("Could not delete " + path + " :  ", errorNumber), LOG_WARNING);
}
