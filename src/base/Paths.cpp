#include "base/Paths.h"

#include "base/TextLines.h"

void appendPathSeparator(SString& path) {
    if (!path.empty() && stringEndsWith(path, kPathSeparator) == SString::npos) {
        path += kPathSeparator;
    }
}

SString baseName(const SString& path) {
    const size_t slash = path.rfind('/');
    return slash == SString::npos ? path : path.substr(slash + 1);
}

SString dirName(const SString& path) {
    const size_t slash = path.rfind('/');
    if (slash == SString::npos) return SString();
    return slash == 0 ? SString(kPathSeparator) : path.substr(0, slash);
}

SString joinPath(const SString& directory, const SString& name) {
    if (directory.empty()) return name;
    SString path = directory;
    appendPathSeparator(path);
    return path + name;
}
