#pragma once
// File type and permission bits of a path, asked in a way that older C libraries also offer.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

// The mode of `path` (following symbolic links when `followLinks`); false when it cannot
// be examined, with errno set.
bool fileMode(const char* path, bool followLinks, mode_t& mode);

// What identifies a file and how long it is (statx, which glibc has had since 2.28).
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
};
bool fileIdentity(const char* path, FileIdentity& identity);

// Status of `path` relative to the open directory `dirFd` (AT_FDCWD for the current one; an
// empty path with AT_EMPTY_PATH for `dirFd` itself), with statx `flags` such as
// AT_SYMLINK_NOFOLLOW; false with errno set when it cannot be examined.
bool fileStatus(int dirFd, const char* path, int flags, struct statx& info);

// Whether the open descriptor `fd` is a regular file.
bool isRegularFile(int fd);
