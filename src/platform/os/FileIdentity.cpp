#include "platform/os/FileIdentity.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/PlatformImpl.h"

namespace {

SString number(unsigned long long value) {
    char text[32];
    snprintf(text, sizeof text, "%llu", value);
    return text;
}

SString nanoseconds(const struct statx_timestamp& time) {
    char text[48];
    snprintf(text, sizeof text, "%lld.%09u", static_cast<long long>(time.tv_sec), time.tv_nsec);
    return text;
}

}  // namespace

static SString identityOf(int dirFd, const char* path, int flags, bool withChangeTime) {
    struct statx info;
    const unsigned mask = STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME;
    if (statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, mask, &info) != 0) return "-";
    SString text = number(info.stx_dev_major) + "," + number(info.stx_dev_minor) + ":" +
                   number(info.stx_ino) + ":" + number(info.stx_size) + ":" +
                   nanoseconds(info.stx_mtime);
    if (withChangeTime) text += ":" + nanoseconds(info.stx_ctime);
    return text;
}

SString fileIdentity(const SString& path, bool withChangeTime) {
    return identityOf(AT_FDCWD, path.c_str(), 0, withChangeTime);
}

SString fileIdentity(int fd, bool withChangeTime) {
    return identityOf(fd, "", AT_EMPTY_PATH, withChangeTime);
}

static bool factsOf(int dirFd, const char* path, int flags, FileFacts& facts) {
    struct statx info;
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE | STATX_MTIME;
    if (statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, mask, &info) != 0) return false;
    facts.isDirectory = S_ISDIR(info.stx_mode);
    facts.isRegular = S_ISREG(info.stx_mode);
    facts.permissions = info.stx_mode & 07777;
    facts.uid = info.stx_uid;
    facts.size = info.stx_size;
    facts.mtime = static_cast<long>(info.stx_mtime.tv_sec);
    return true;
}

bool fileFacts(const SString& path, bool followLinks, FileFacts& facts) {
    return factsOf(AT_FDCWD, path.c_str(), followLinks ? 0 : AT_SYMLINK_NOFOLLOW, facts);
}

bool fileFacts(int fd, FileFacts& facts) {
    return factsOf(fd, "", AT_EMPTY_PATH, facts);
}

SString jvmIdentity(const SString& jvmHome, const SString& exePath) {
    return jvmIdentityOfResolved(jvmHome, PlatformImpl::resolvePath(exePath));
}

SString jvmIdentityOfResolved(const SString& jvmHome, const SString& exe) {
    if (exe.empty()) return SString();
    SString home = jvmHome;
    if (!home.empty() && home.back() != '/') home += '/';
    return exe + "\n" + fileIdentity(exe, true) + "\n" + fileIdentity(home + "lib/modules", true) +
           "\n" + fileIdentity(home + "release", true);
}
