#pragma once
// Exclusive locks on files of the per-user cache, for work that one process at a time
// does (single-flight) and for files a live process is still writing. The kernel drops a
// lock however its holders end.

#include "base/SString.h"
#include "base/UniqueFd.h"

enum class LockOpen {
    Existing,  // only a file that is there
    Create,    // made when missing
    New,       // made now, never an existing one
};

// `path` (never through a symbolic link, mode 0600 when made) opened for reading and
// writing and locked exclusively without waiting; the descriptor (close-on-exec) holds
// the lock. Empty (errno set; EWOULDBLOCK when another holds the lock) otherwise.
UniqueFd lockFile(const SString& path, LockOpen how);

// Takes the flock `operation` (LOCK_SH or LOCK_EX) on `fd`, waiting while others hold a
// lock that conflicts, for at most `seconds`; an interruption of the run (Ctrl-C) ends the
// wait by throwing. False (errno EWOULDBLOCK when the wait ran out) otherwise.
bool waitForFlock(int fd, int operation, int seconds);
// As lockFile with LockOpen::Create, but waits while another process holds the lock, for
// at most `seconds`; an interruption of the run (Ctrl-C) ends the wait by throwing. Empty
// (errno EWOULDBLOCK) when the lock is still held then, as by a stopped process.
UniqueFd waitForLockFile(const SString& path, int seconds);
