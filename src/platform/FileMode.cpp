#include "platform/FileMode.h"

#include <fcntl.h>
#include <sys/stat.h>

bool fileMode(const char* path, bool followLinks, mode_t& mode) {
    struct statx info;
    int flags = AT_STATX_SYNC_AS_STAT | (followLinks ? 0 : AT_SYMLINK_NOFOLLOW);
    if (statx(AT_FDCWD, path, flags, STATX_TYPE | STATX_MODE, &info) != 0) return false;
    mode = info.stx_mode;
    return true;
}

bool fileStatus(int dirFd, const char* path, int flags, struct statx& info) {
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO;
    return statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, mask, &info) == 0;
}
