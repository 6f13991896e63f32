// What the launcher reads its inputs from: regular files and streams such as pipes and
// terminals, but never a directory, whose reads would only fail.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformImpl.h"

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
