#include "platform/FileIdentity.h"

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

SString fileIdentity(const SString& path, bool withChangeTime) {
    struct statx info;
    const unsigned mask = STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME;
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_SYNC_AS_STAT, mask, &info) != 0) return "-";
    SString text = number(info.stx_dev_major) + "," + number(info.stx_dev_minor) + ":" +
                   number(info.stx_ino) + ":" + number(info.stx_size) + ":" +
                   nanoseconds(info.stx_mtime);
    if (withChangeTime) text += ":" + nanoseconds(info.stx_ctime);
    return text;
}

SString jvmIdentity(const SString& jvmHome, const SString& exePath) {
    const SString exe = PlatformImpl::resolvePath(exePath);
    if (exe.empty()) return SString();
    SString home = jvmHome;
    if (!home.empty() && home.back() != '/') home += '/';
    return exe + "\n" + fileIdentity(exe, true) + "\n" + fileIdentity(home + "lib/modules", true) +
           "\n" + fileIdentity(home + "release", true);
}
