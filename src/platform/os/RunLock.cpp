#include "platform/os/RunLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "base/Paths.h"
#include "base/RunState.h"
#include "base/UniqueFd.h"
#include "platform/PlatformImpl.h"

namespace {

// "qnj" and six characters: a lock file (or a plain entry of an older launcher); "qnj" and
// twelve: an entry of the run whose lock file is named by the first nine.
constexpr size_t kLockNameLength = 9;
constexpr size_t kEntryNameLength = 15;
// Directories nested deeper than this in a leftover are left (and so is the leftover).
constexpr int kMaxDepth = 64;

struct HeldLock {
    SString dir;
    SString name;
    std::unique_ptr<UniqueFd> fd;
};
RunState<std::vector<HeldLock>> g_locks;

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// What the sweep needs to know of an entry, through statx (older C libraries have it too).
struct EntryInfo {
    mode_t mode = 0;
    uid_t user = 0;
    time_t modified = 0;
    unsigned long long device = 0;
    unsigned long long inode = 0;
};

// `name` in `dirFd` itself, never a link's target ("" with AT_EMPTY_PATH: `dirFd` itself).
bool entryInfo(int dirFd, const char* name, EntryInfo& info, int flags = 0) {
    struct statx sx;
    if (statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW,
              STATX_TYPE | STATX_UID | STATX_MTIME | STATX_INO, &sx) != 0) {
        return false;
    }
    info.mode = sx.stx_mode;
    info.user = sx.stx_uid;
    info.modified = sx.stx_mtime.tv_sec;
    info.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    info.inode = sx.stx_ino;
    return true;
}

bool isLauncherName(const char* name) {
    const size_t length = strlen(name);
    if ((length != kLockNameLength && length != kEntryNameLength) || strncmp(name, "qnj", 3) != 0) {
        return false;
    }
    for (size_t i = 3; i < length; ++i) {
        if (!isalnum(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

SString pathIn(const SString& dir, const SString& name) {
    return dir + "/" + name;
}

// A directory stream over `fd`, which it takes over; null (fd closed) on failure.
DirHandle openStream(int fd) {
    DIR* stream = fdopendir(fd);
    if (!stream) close(fd);
    return DirHandle(stream);
}

// Removes the entry `name` of `parentFd`, a directory with everything in it. Symbolic
// links are removed as links; nothing outside the tree is reached. True when it is gone.
bool removeTreeAt(int parentFd, const char* name, int depth) {
    EntryInfo st;
    if (!entryInfo(parentFd, name, st)) return errno == ENOENT;
    if (!S_ISDIR(st.mode)) return unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
    if (depth >= kMaxDepth) return false;
    int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DirHandle stream = openStream(fd);
    if (!stream) return false;
    std::vector<SString> names;
    while (dirent* entry = readdir(stream.get())) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            names.push_back(entry->d_name);
        }
    }
    bool emptied = true;
    for (const SString& inner : names) {
        PlatformImpl::checkInterrupted();
        emptied = removeTreeAt(dirfd(stream.get()), inner.c_str(), depth + 1) && emptied;
    }
    return emptied && unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

// Whether a live process holds the lock on the file `name` of `dirFd`.
bool isLockHeld(int dirFd, const SString& name) {
    UniqueFd fd(openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    EntryInfo st;
    if (!entryInfo(fd.get(), "", st, AT_EMPTY_PATH) || !S_ISREG(st.mode)) return false;
    return flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

}  // namespace

int sweepDeadRuns(const SString& dir, time_t minimumAge) {
    int fd = open(dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    DirHandle stream = openStream(fd);
    if (!stream) return 0;
    const int dirFd = dirfd(stream.get());
    const time_t now = time(nullptr);
    const uid_t user = geteuid();
    std::map<SString, bool> held;
    // Entries go before lock files: a lock file tells whether its entries are a live run's.
    std::vector<SString> entries, lockFiles;
    while (dirent* entry = readdir(stream.get())) {
        if (!isLauncherName(entry->d_name)) continue;
        EntryInfo st;
        if (!entryInfo(dirFd, entry->d_name, st)) continue;
        if (st.user != user || !(S_ISDIR(st.mode) || S_ISREG(st.mode))) continue;
        if (now - st.modified < minimumAge) continue;
        const SString name = entry->d_name;
        // A short-named directory is an older launcher's and has no lock.
        const bool lockFile = name.size() == kLockNameLength && S_ISREG(st.mode);
        if (lockFile || name.size() == kEntryNameLength) {
            const SString owner = name.substr(0, kLockNameLength);
            auto known = held.find(owner);
            if (known == held.end()) known = held.emplace(owner, isLockHeld(dirFd, owner)).first;
            if (known->second) continue;
        }
        (lockFile ? lockFiles : entries).push_back(name);
    }
    int removed = 0;
    for (const std::vector<SString>* names : {&entries, &lockFiles}) {
        for (const SString& name : *names) {
            PlatformImpl::checkInterrupted();
            if (removeTreeAt(dirFd, name.c_str(), 0)) ++removed;
        }
    }
    return removed;
}

SString runEntryPrefix(const SString& dir) {
    for (const HeldLock& lock : g_locks) {
        if (lock.dir == dir) return lock.name;
    }
    sweepDeadRuns(dir);
    SString pattern = pathIn(dir, "qnjXXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    auto fd = std::make_unique<UniqueFd>(mkostemp(name.data(), O_CLOEXEC));
    if (!*fd) return SString();
    if (flock(fd->get(), LOCK_EX | LOCK_NB) != 0) {
        unlink(name.data());
        return SString();
    }
    fchmod(fd->get(), 0600);
    HeldLock lock{dir, SString(name.data()).substr(pattern.size() - kLockNameLength),
                  std::move(fd)};
    g_locks->push_back(std::move(lock));
    return g_locks->back().name;
}

void releaseRunLocks() {
    for (HeldLock& lock : g_locks.get()) unlink(pathIn(lock.dir, lock.name).c_str());
    g_locks->clear();
}

void keepRunLocksAcrossExec() {
    for (const HeldLock& lock : g_locks.get()) fcntl(lock.fd->get(), F_SETFD, 0);
}

void handRunLockOver(const SString& entryPath) {
    const SString dir = dirName(entryPath);
    const SString name = baseName(entryPath);
    std::vector<HeldLock> kept;
    for (HeldLock& lock : g_locks.get()) {
        if (lock.dir == dir && name.compare(0, lock.name.size(), lock.name) == 0) {
            fcntl(lock.fd->get(), F_SETFD, 0);
            kept.push_back(std::move(lock));
        } else {
            unlink(pathIn(lock.dir, lock.name).c_str());
        }
    }
    g_locks = std::move(kept);
}

void releaseInheritedRunLock(const SString& entryPath) {
    if (entryPath.find('/') == SString::npos) return;
    const SString name = baseName(entryPath);
    if (name.size() != kEntryNameLength || !isLauncherName(name.c_str())) return;
    const SString lockPath = joinPath(dirName(entryPath), name.substr(0, kLockNameLength));
    EntryInfo lock;
    if (!entryInfo(AT_FDCWD, lockPath.c_str(), lock) || !S_ISREG(lock.mode)) return;
    // The descriptor came through exec under a number this process does not know.
    const long maxFd = sysconf(_SC_OPEN_MAX);
    for (int fd = 3; fd < (maxFd > 0 && maxFd < 4096 ? maxFd : 4096); ++fd) {
        EntryInfo st;
        if (entryInfo(fd, "", st, AT_EMPTY_PATH) && st.device == lock.device &&
            st.inode == lock.inode) {
            unlink(lockPath.c_str());
            close(fd);
            return;
        }
    }
}
