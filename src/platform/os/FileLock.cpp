#include "platform/os/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/PlatformImpl.h"

namespace {

// How often a waiting lock looks again.
constexpr useconds_t kLockPollMicroseconds = 10000;

// `path` opened as lockFile describes it, not yet locked.
UniqueFd openLockFile(const SString& path, LockOpen how) {
    int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    if (how != LockOpen::Existing) flags |= O_CREAT;
    if (how == LockOpen::New) flags |= O_EXCL;
    return UniqueFd(open(path.c_str(), flags, 0600));
}

// Drops `fd` keeping the errno of what failed.
UniqueFd dropped(UniqueFd& fd) {
    const int error = errno;
    fd.reset(-1);
    errno = error;
    return std::move(fd);
}

}  // namespace

UniqueFd lockFile(const SString& path, LockOpen how) {
    UniqueFd fd = openLockFile(path, how);
    if (fd && flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return dropped(fd);
    return fd;
}

bool waitForFlock(int fd, int operation, int seconds) {
    const long steps = static_cast<long>(seconds) * 1000000 / kLockPollMicroseconds;
    for (long step = 0; flock(fd, operation | LOCK_NB) != 0; ++step) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK || step >= steps) return false;
        PlatformImpl::checkInterrupted();
        usleep(kLockPollMicroseconds);
    }
    return true;
}

UniqueFd waitForLockFile(const SString& path, int seconds) {
    UniqueFd fd = openLockFile(path, LockOpen::Create);
    if (fd && !waitForFlock(fd.get(), LOCK_EX, seconds)) return dropped(fd);
    return fd;
}
