#include "platform/os/TrustedPath.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/Numbers.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"

namespace {

// More links than this on one path are taken for a loop, as the kernel does.
constexpr int kMaxLinks = 40;

// The components of `path` in reverse order, so that the next one is at the back.
void pushComponents(const SString& path, std::vector<SString>& pending) {
    std::vector<SString> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == SString::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) pending.push_back(*it);
}

// The problem with one entry of the path; empty when there is none.
SString entryProblem(const SString& shown, const struct statx& info, bool last) {
    const uid_t self = geteuid();
    if (info.stx_uid != 0 && info.stx_uid != self) {
        return shown + " is owned by user " + convertToString(static_cast<long>(info.stx_uid));
    }
    if (S_ISLNK(info.stx_mode) || (info.stx_mode & 022) == 0) return SString();
    if (S_ISDIR(info.stx_mode) && (info.stx_mode & S_ISVTX)) return SString();
    if (S_ISDIR(info.stx_mode)) return shown + " is writable by others and not sticky";
    return last ? shown + " is writable by others" : SString();
}

bool readLink(const SString& path, SString& target) {
    std::vector<char> buffer(4096);
    ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0 || static_cast<size_t>(n) >= buffer.size()) return false;
    target.assign(buffer.data(), static_cast<size_t>(n));
    return true;
}

}  // namespace

SString untrustedPathReason(const SString& path) {
    std::vector<SString> pending;
    pushComponents(path, pending);
    if (path.empty() || path[0] != '/') {
        std::vector<char> cwd(4096);
        if (!getcwd(cwd.data(), cwd.size())) {
            return systemErrorText("The current directory cannot be examined: ", errno);
        }
        pushComponents(cwd.data(), pending);
    }
    struct statx info;
    if (!fileStatus(AT_FDCWD, "/", AT_SYMLINK_NOFOLLOW, info)) {
        return systemErrorText("/ cannot be examined: ", errno);
    }
    SString problem = entryProblem("/", info, pending.empty());
    // `current` never holds a symbolic link, so ".." can be taken off it as text.
    SString current;
    int links = 0;
    while (problem.empty() && !pending.empty()) {
        const SString name = pending.back();
        pending.pop_back();
        if (name == ".") continue;
        if (name == "..") {
            current.erase(current.empty() ? 0 : current.rfind('/'));
            continue;
        }
        const SString next = current + "/" + name;
        if (!fileStatus(AT_FDCWD, next.c_str(), AT_SYMLINK_NOFOLLOW, info)) {
            return systemErrorText(next + " cannot be examined: ", errno);
        }
        problem = entryProblem(next, info, pending.empty());
        if (!problem.empty() || !S_ISLNK(info.stx_mode)) {
            current = next;
            continue;
        }
        // The link lies in a trusted directory and is owned as it should be, so it stays what
        // it is; what it leads to is checked in its turn.
        SString target;
        if (++links > kMaxLinks) return next + " leads through too many symbolic links";
        if (!readLink(next, target)) return systemErrorText(next + " cannot be read: ", errno);
        if (!target.empty() && target[0] == '/') current.clear();
        pushComponents(target, pending);
    }
    return problem;
}

bool holdsLineBreak(const SString& text) {
    return text.find_first_of("\n\r") != SString::npos;
}

SString showLineBreaks(const SString& text) {
    SString shown;
    for (char c : text) {
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\0') {
            shown += "\\0";
        } else {
            shown += c;
        }
    }
    return shown;
}
