// What the launcher reads its inputs from: regular files and streams such as pipes and
// terminals, but never a directory, whose reads would only fail.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"

UniqueFd PlatformImpl::openForReading(const SString& path) {
    int fd;
    do {
        // Opening a pipe waits for its writer; an interruption ends the wait.
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == EINTR) checkInterrupted();
    } while (fd < 0 && errno == EINTR);
    UniqueFd file(fd);
    struct statx info;
    if (file && (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE, &info) != 0 || S_ISDIR(info.stx_mode))) {
        file.reset(-1);
        errno = EISDIR;
    }
    return file;
}

StdioFile PlatformImpl::openInputFile(const SString& path) {
    UniqueFd file = openForReading(path);
    if (!file) return StdioFile();
    FILE* stream = fdopen(file.get(), "r");
    if (stream) file.release();
    return StdioFile(stream);
}

StdioFile PlatformImpl::openTextStream(const SString& text) {
    if (text.empty()) return StdioFile();
    return StdioFile(fmemopen(const_cast<char*>(text.data()), text.size(), "r"));
}

UniqueFd PlatformImpl::openPlainDescriptor(const SString& path, SString& problem) {
    UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        problem = systemErrorText("", errno);
        return file;
    }
    struct statx info;
    if (statx(file.get(), "", AT_EMPTY_PATH, STATX_TYPE, &info) != 0 || !S_ISREG(info.stx_mode)) {
        problem = "it is not a plain file";
        file.reset(-1);
        return file;
    }
    // Reads of a plain file never wait; the descriptor goes on as an ordinary one.
    fcntl(file.get(), F_SETFL, fcntl(file.get(), F_GETFL) & ~O_NONBLOCK);
    return file;
}

StdioFile PlatformImpl::openPlainFile(const SString& path, SString& problem) {
    UniqueFd file = openPlainDescriptor(path, problem);
    if (!file) return StdioFile();
    FILE* stream = fdopen(file.get(), "r");
    if (!stream) {
        problem = systemErrorText("", errno);
        return StdioFile();
    }
    file.release();
    return StdioFile(stream);
}

bool PlatformImpl::entryExists(const SString& path) {
    struct statx info;
    return !path.empty() &&
           statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &info) == 0;
}
