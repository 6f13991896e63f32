#pragma once
// Identities of files that tell when one has been replaced or changed: device, inode,
// size and times in nanoseconds, as one text that can stand in a cache key.

#include "base/SString.h"

// "device:inode:size:mtime" of `path`, following links, and ":ctime" too with
// `withChangeTime`; "-" when it does not exist or cannot be examined.
SString fileIdentity(const SString& path, bool withChangeTime);

// The same for the open file `fd`.
SString fileIdentity(int fd, bool withChangeTime);

// What the cache needs to know of a file, asked in a way that older C libraries also offer.
struct FileFacts {
    bool isDirectory = false;
    bool isRegular = false;
    unsigned permissions = 0;  // the mode's permission bits (07777)
    unsigned uid = 0;
    unsigned long long size = 0;
    long mtime = 0;  // seconds
};
// The facts of `path` (of a symbolic link itself unless `followLinks`); false when it
// cannot be examined.
bool fileFacts(const SString& path, bool followLinks, FileFacts& facts);
// The same for the open descriptor `fd`.
bool fileFacts(int fd, FileFacts& facts);

// The identity of a JVM installation for cached facts about it: the resolved path of its
// executable `exePath` and the identities (with change times) of that executable and of
// lib/modules and release below `jvmHome`. Empty when the executable cannot be resolved.
SString jvmIdentity(const SString& jvmHome, const SString& exePath);
// The same for the executable's path `resolvedExe` with every link resolved already.
SString jvmIdentityOfResolved(const SString& jvmHome, const SString& resolvedExe);
