#include "platform/os/FileMode.h"

#include <fcntl.h>
#include <sys/stat.h>

bool fileMode(const char* path, bool followLinks, mode_t& mode) {
    struct statx info;
    int flags = AT_STATX_SYNC_AS_STAT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    if (statx(AT_FDCWD, path, flags, STATX_TYPE | STATX_MODE, &info) != 0) return false;
    mode = info.stx_mode;
    return true;
}

bool fileIdentity(const char* path, FileIdentity& identity) {
    struct statx info;
    if (statx(AT_FDCWD, path, AT_STATX_SYNC_AS_STAT, STATX_INO | STATX_SIZE, &info) != 0) {
        return false;
    }
    identity.device =
        (static_cast<unsigned long long>(info.stx_dev_major) << 32) | info.stx_dev_minor;
    identity.inode = info.stx_ino;
    identity.size = static_cast<long long>(info.stx_size);
    return true;
}

bool fileStatus(int dirFd, const char* path, int flags, struct statx& info) {
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO;
    return statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, mask, &info) == 0;
}

bool isRegularFile(int fd) {
    struct statx info;
    return fileStatus(fd, "", AT_EMPTY_PATH, info) && S_ISREG(info.stx_mode);
}
