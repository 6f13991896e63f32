#pragma once
// Identities of files that tell when one has been replaced or changed: device, inode,
// size and times in nanoseconds, as one text that can stand in a cache key.

#include "base/SString.h"

// "device:inode:size:mtime" of `path`, following links, and ":ctime" too with
// `withChangeTime`; "-" when it does not exist or cannot be examined.
SString fileIdentity(const SString& path, bool withChangeTime);

// The identity of a JVM installation for cached facts about it: the resolved path of its
// executable `exePath` and the identities (with change times) of that executable and of
// lib/modules and release below `jvmHome`. Empty when the executable cannot be resolved.
SString jvmIdentity(const SString& jvmHome, const SString& exePath);
