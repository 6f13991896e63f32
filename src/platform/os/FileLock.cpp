#include "platform/os/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <unistd.h>

#include <cerrno>

#include "platform/PlatformImpl.h"

namespace {

// How often a waiting lock looks again.
constexpr useconds_t kLockPollMicroseconds = 10000;

}  // namespace

UniqueFd lockFile(const SString& path, LockOpen how) {
    int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    if (how != LockOpen::Existing) flags |= O_CREAT;
    if (how == LockOpen::New) flags |= O_EXCL;
    UniqueFd fd(open(path.c_str(), flags, 0600));
    if (!fd) return fd;
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        fd.reset(-1);
        errno = error;
    }
    return fd;
}

UniqueFd waitForLockFile(const SString& path, int seconds) {
    const long steps = static_cast<long>(seconds) * 1000000 / kLockPollMicroseconds;
    for (long step = 0;; ++step) {
        UniqueFd fd = lockFile(path, LockOpen::Create);
        if (fd || errno != EWOULDBLOCK || step >= steps) return fd;
        PlatformImpl::checkInterrupted();
        usleep(kLockPollMicroseconds);
    }
}
