#include "platform/UserCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "base/Numbers.h"
#include "platform/CacheHold.h"
#include "platform/DeleteFullDir.h"
#include "platform/FileIdentity.h"
#include "platform/FileMode.h"
#include "platform/HeldDirectory.h"
#include "platform/Log.h"
#include "platform/SystemError.h"
#include "platform/TrustedPath.h"

RunState<bool> UserCache::s_opened;
RunState<SString> UserCache::s_directory;
RunState<uint64_t> UserCache::s_written;
RunState<long> UserCache::s_runStart;

namespace {

// Entries larger than this are no cache entries of ours and are not read.
constexpr unsigned long long kMaxEntryText = 1 << 20;

// Where the cache is: QNLAUNCH_CACHE ("off": nowhere), else below XDG_CACHE_HOME, else
// below the home directory; empty when there is no such place.
SString cacheLocation() {
    const char* own = getenv("QNLAUNCH_CACHE");
    if (own && *own) {
        if (strcmp(own, "off") == 0) return SString();
        SString path = own;
        if (path[0] != '/') {
            char cwd[4096];
            if (!getcwd(cwd, sizeof cwd)) return SString();
            path = SString(cwd) + "/" + path;
        }
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }
    const char* xdg = getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return SString(xdg) + "/qnlaunch";
    const char* home = getenv("HOME");
    if (home && home[0] == '/') {
        SString path = home;
        while (!path.empty() && path.back() == '/') path.pop_back();
        return path + "/.cache/qnlaunch";
    }
    return SString();
}

// Makes `path` and the directories leading to it that are missing, each with mode 0700;
// 0, or the error number of the step that failed.
int makeDirectories(const SString& path) {
    mode_t mode;
    if (fileMode(path.c_str(), true, mode)) return S_ISDIR(mode) ? 0 : ENOTDIR;
    size_t slash = path.rfind('/');
    if (slash != SString::npos && slash > 0) {
        int error = makeDirectories(path.substr(0, slash));
        if (error != 0) return error;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
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
    if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return path;
    return SString();
}

}  // namespace

const SString& UserCache::directory() {
    if (s_opened) return s_directory;
    s_opened = true;
    s_runStart = static_cast<long>(time(nullptr)) - 1;
    const SString path = cacheLocation();
    if (path.empty()) return s_directory;
    const int error = holdsLineBreak(path) ? 0 : makeDirectories(path);
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
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    FileFacts info;
    if (!fd || !fileFacts(fd.get(), info) || !info.isRegular || info.size > kMaxEntryText) {
        return false;
    }
    content.clear();
    std::vector<char> buffer(static_cast<size_t>(info.size) + 1);
    for (;;) {
        ssize_t n = read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        content.append(buffer.data(), static_cast<size_t>(n));
    }
    return true;
}

bool UserCache::makeDirectory(const SString& path) {
    if (mkdir(path.c_str(), 0700) == 0) return true;
    mode_t mode;
    return errno == EEXIST && fileMode(path.c_str(), false, mode) && S_ISDIR(mode);
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
    if (mkdir(path.c_str(), 0700) != 0) {
        mode_t mode;
        if (errno != EEXIST || !fileMode(path.c_str(), false, mode) || !S_ISDIR(mode)) {
            return SString();
        }
        markUsed(path);
    }
    return path;
}

void UserCache::markUsed(const SString& path) {
    utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

bool UserCache::removeEntry(const SString& path) {
    // Locked while it is renamed away, so that no run starts to hold it meanwhile.
    UniqueFd lock;
    if (!lockForRemoval(path, lock)) return false;
    static unsigned counter = 0;
    size_t slash = path.rfind('/');
    const SString gone = path.substr(0, slash + 1) + ".gone-" +
                         convertToString(static_cast<long>(getpid())) + "-" +
                         convertToString(static_cast<long>(++counter));
    if (rename(path.c_str(), gone.c_str()) != 0) return false;
    DeleteFullDir().process(gone);
    return true;
}

bool UserCache::isOwnFile(const SString& path, long size) {
    FileFacts info;
    return size >= 0 && fileFacts(path, false, info) && info.isRegular && info.uid == geteuid() &&
           info.size == static_cast<unsigned long long>(size);
}

SString UserCache::runName(const SString& prefix) {
    return prefix + convertToString(static_cast<long>(getpid()));
}

bool UserCache::moveFile(const SString& from, const SString& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void UserCache::discardFile(const SString& path) {
    unlink(path.c_str());
}

CacheFile::CacheFile(const SString& directory) : m_directory(directory) {
    SString pattern = join(directory, ".tmp-XXXXXX");
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    m_fd.reset(mkostemp(name.data(), O_CLOEXEC));
    if (m_fd) m_path = name.data();
}

CacheFile::~CacheFile() {
    if (!m_path.empty()) unlink(m_path.c_str());
}

bool CacheFile::write(const SString& text) {
    size_t done = 0;
    while (m_fd && done < text.size()) {
        ssize_t n = ::write(m_fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return static_cast<bool>(m_fd);
}

bool CacheFile::commit(const SString& name, unsigned mode) {
    if (!m_fd) return false;
    const bool written = fchmod(m_fd.get(), mode) == 0 && m_fd.close();
    if (!written || rename(m_path.c_str(), join(m_directory, name).c_str()) != 0) return false;
    m_path.clear();
    return true;
}

uint64_t cacheSizeBound() {
    const uint64_t fallback = 1ull << 30;
    const char* text = getenv("QNLAUNCH_CACHE_SIZE");
    if (!text || !*text) return fallback;
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
