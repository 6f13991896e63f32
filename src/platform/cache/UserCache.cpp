#include "platform/cache/UserCache.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/CacheHold.h"
#include "platform/os/DeleteFullDir.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/HeldDirectory.h"
#include "platform/os/PrivateFiles.h"
#include "platform/os/SystemError.h"
#include "platform/os/TrustedPath.h"

RunState<bool> UserCache::s_opened;
RunState<SString> UserCache::s_directory;
RunState<uint64_t> UserCache::s_written;
RunState<long> UserCache::s_runStart;

namespace {

// Entries larger than this are no cache entries of ours and are not read.
constexpr unsigned long long kMaxEntryText = 1 << 20;
// Entries this run renamed away, for names of their own.
RunState<long> g_removals;

// Where the cache is: QNLAUNCH_CACHE ("off": nowhere), else below XDG_CACHE_HOME, else
// below the home directory; empty when there is no such place.
// A relative QNLAUNCH_CACHE is taken from the current directory, once, when the cache is
// first opened; a relative XDG_CACHE_HOME or HOME is ignored, as the base-directory rules say.
SString cacheLocation() {
    const SString own = PlatformImpl::getEnvironmentVariable("QNLAUNCH_CACHE");
    if (!own.empty()) {
        if (own == "off") return SString();
        SString path = own;
        if (path[0] != '/') {
            const SString cwd = PlatformImpl::currentDirectory();
            if (cwd.empty()) return SString();
            path = joinPath(cwd, path);
        }
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    const SString xdg = PlatformImpl::getEnvironmentVariable("XDG_CACHE_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg + "/qnlaunch";
    SString home = PlatformImpl::getEnvironmentVariable("HOME");
    if (!home.empty() && home[0] == '/') {
        while (!home.empty() && home.back() == '/') home.pop_back();
        return home + "/.cache/qnlaunch";
    }
    return SString();
}

// Why the existing directory `path` is not to be used as the cache; empty when it is fine.
SString unsafeReason(const SString& path) {
    if (holdsLineBreak(path)) return "its name holds a line break";
    const HeldDirectory directory = HeldDirectory::open(path);
    if (!directory) return systemErrorText("it cannot be opened: ", errno);
    const SString problem = directory.privacyProblem();
    if (!problem.empty()) return problem;
    // Nothing on the way to it may be under someone else's control either.
    return untrustedPathReason(path);
}

SString join(const SString& directory, const SString& name) {
    return directory + "/" + name;
}

// The directory of `kind`, made when missing; empty when it cannot be made.
SString kindDirectory(const char* kind) {
    const SString path = join(UserCache::directory(), kind);
    return makePrivateDirectory(path) ? path : SString();
}

}  // namespace

const SString& UserCache::directory() {
    if (s_opened) return s_directory;
    s_opened = true;
    s_runStart = static_cast<long>(time(nullptr)) - 1;
    const SString path = cacheLocation();
    if (path.empty()) return s_directory;
    const int error = holdsLineBreak(path) ? 0 : makePrivateDirectories(path);
    if (error != 0) {
        logMessage(systemErrorText("The cache directory " + path + " cannot be made: ", error) +
                       "; the run goes on without it.",
                   LOG_WARNING);
        return s_directory;
    }
    const SString reason = unsafeReason(path);
    if (!reason.empty()) {
        logMessage("The cache directory " + showLineBreaks(path) +
                       " is not used: " + showLineBreaks(reason) + ".",
                   LOG_WARNING);
        return s_directory;
    }
    s_directory = path;
    return s_directory;
}

bool UserCache::readEntry(const char* kind, const SString& name, SString& content) {
    if (!available()) return false;
    const SString path = join(join(s_directory, kind), name);
    if (!readFile(path, content)) return false;
    markUsed(path);
    return true;
}

bool UserCache::readFile(const SString& path, SString& content) {
    return readSmallFile(path, kMaxEntryText, content);
}

bool UserCache::makeDirectory(const SString& path) {
    return makePrivateDirectory(path);
}

bool UserCache::writeEntry(const char* kind, const SString& name, const SString& content) {
    if (!available()) return false;
    const SString directory = kindDirectory(kind);
    if (directory.empty()) return false;
    CacheFile file(directory);
    if (!file.write(content) || !file.commit(name, 0600)) return false;
    noteWritten(content.size());
    return true;
}

SString UserCache::entryDirectory(const char* kind, const SString& name) {
    if (!available()) return SString();
    const SString parent = kindDirectory(kind);
    if (parent.empty()) return SString();
    const SString path = join(parent, name);
    if (makeNewPrivateDirectory(path)) return path;
    if (!makePrivateDirectory(path)) return SString();
    markUsed(path);
    return path;
}

void UserCache::markUsed(const SString& path) {
    touchEntry(path);
}

bool UserCache::removeEntry(const SString& path) {
    // Locked while it is renamed away, so that no run starts to hold it meanwhile.
    UniqueFd lock;
    if (!lockForRemoval(path, lock)) return false;
    const SString gone = joinPath(dirName(path), ".gone-" + convertToString(currentProcessId()) +
                                                     "-" + convertToString(++g_removals));
    if (!renameEntry(path, gone)) return false;
    DeleteFullDir().process(gone);
    return true;
}

bool UserCache::isOwnFile(const SString& path, long size) {
    return size >= 0 && isOwnPlainFile(path, static_cast<unsigned long long>(size));
}

SString UserCache::runName(const SString& prefix) {
    return prefix + convertToString(currentProcessId());
}

bool UserCache::moveFile(const SString& from, const SString& to) {
    return renameEntry(from, to);
}

void UserCache::discardFile(const SString& path) {
    removeFile(path);
}

uint64_t cacheSizeBound() {
    const uint64_t fallback = 1ull << 30;
    const SString setting = PlatformImpl::getEnvironmentVariable("QNLAUNCH_CACHE_SIZE");
    const char* text = setting.c_str();
    if (!*text) return fallback;
    char* end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    if (end == text) return fallback;
    switch (*end) {
        case 'K':
        case 'k':
            value <<= 10;
            ++end;
            break;
        case 'M':
        case 'm':
            value <<= 20;
            ++end;
            break;
        case 'G':
        case 'g':
            value <<= 30;
            ++end;
            break;
        default:
            break;
    }
    return *end == '\0' ? value : fallback;
}
