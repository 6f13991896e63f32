#include "platform/os/FindFiles.h"

#include "base/Paths.h"
#include "platform/PlatformImpl.h"

FindFiles::FindFiles(const StringDeque& names, FileFindListener& listener)
    : FileNavigator(true), m_fileNames(names), m_listener(listener) {
    m_skipTempDir = PlatformImpl::getSystemTempDirectory();
    appendPathSeparator(m_skipTempDir);
}

bool FindFiles::processFile(const SString& path) {
    bool result = false;
    for (const SString& name : m_fileNames) {
        if (result) break;
        if (name.size() < path.size() && path[path.size() - name.size() - 1] == '/' &&
            path.compare(path.size() - name.size(), name.size(), name) == 0) {
            result = m_listener.foundFile(path);
        }
    }
    return result;
}

bool FindFiles::skipDirectory(const SString& dir) {
    SString withSeparator = dir;
    appendPathSeparator(withSeparator);
    return withSeparator == m_skipTempDir || withSeparator == "/var/tmp/";
}
