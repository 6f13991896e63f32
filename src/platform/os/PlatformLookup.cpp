// Lookups for JVM discovery: directories below a path, real paths, programs on PATH.

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "platform/PlatformImpl.h"
#include "platform/os/FileMode.h"

StringDeque PlatformImpl::listSubdirectories(const SString& path) {
    StringDeque names;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) return names;
    while (struct dirent* entry = readdir(dir.get())) {
        SString name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Links to directories count: /usr/lib/jvm holds many.
        SString full = path;
        if (full.empty() || full.back() != '/') full += '/';
        full += name;
        if (isDirectoryPath(full)) names.push_back(name);
    }
    return names;
}

// Modes come from fileMode rather than stat, which the C library versions the stub runs
// with do not all offer under the name a newer one binds it to.
bool PlatformImpl::isDirectoryPath(const SString& path) {
    mode_t mode = 0;
    return fileMode(path.c_str(), true, mode) && S_ISDIR(mode);
}

SString PlatformImpl::resolvePath(const SString& path) {
    std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), free);
    return resolved ? SString(resolved.get()) : SString();
}

SString PlatformImpl::findProgramOnPath(const SString& name) {
    const SString path = getEnvironmentVariable("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == SString::npos) end = path.size();
        SString dir = path.substr(start, end - start);
        start = end + 1;
        // An empty or relative entry would make the answer depend on the current directory.
        if (dir.empty() || dir[0] != '/') continue;
        SString candidate = dir + "/" + name;
        mode_t mode = 0;
        if (fileMode(candidate.c_str(), true, mode) && S_ISREG(mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return SString();
}

SString PlatformImpl::currentDirectory() {
    // Directories may be nested beyond any fixed buffer: grow until the path fits.
    for (size_t size = 256; size <= (size_t{1} << 24); size *= 2) {
        std::vector<char> buffer(size);
        if (getcwd(buffer.data(), buffer.size())) return SString(buffer.data());
        if (errno != ERANGE) return SString();
    }
    return SString();
}

SString PlatformImpl::ownExecutablePath() {
    for (size_t size = 256; size <= (size_t{1} << 24); size *= 2) {
        std::vector<char> buffer(size);
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return SString();
        if (static_cast<size_t>(n) < buffer.size()) return SString(buffer.data(), n);
    }
    return SString();
}
