// Streams that the launcher reads its text inputs from: regular files and streams such as
// pipes and terminals, but never a directory, whose reads would only fail.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/PlatformImpl.h"

StdioFile PlatformImpl::openInputFile(const SString& path) {
    int fd;
    do {
        // Opening a pipe waits for its writer; an interruption ends the wait.
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == EINTR) checkInterrupted();
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return StdioFile();
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_TYPE, &info) != 0 || S_ISDIR(info.stx_mode)) {
        close(fd);
        errno = EISDIR;
        return StdioFile();
    }
    FILE* stream = fdopen(fd, "r");
    if (!stream) close(fd);
    return StdioFile(stream);
}
