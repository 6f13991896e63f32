#include "platform/os/FileNavigator.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

#include "base/Paths.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileMode.h"

namespace {

// Closes a directory stream when it goes out of scope.
class DirHandle {
public:
    explicit DirHandle(const char* path) : m_dir(opendir(path)) {}
    ~DirHandle() {
        if (m_dir) closedir(m_dir);
    }
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

// The directory test from the entry's type when the file system reports one; -1 when
// it must be asked with lstat. Types whose mode carries the directory bit (block
// devices, sockets) count as directories, as they do for lstat.
int directoryFromType(unsigned char type) {
    switch (type) {
        case DT_DIR:
        case DT_BLK:
        case DT_SOCK:
            return 1;
        case DT_REG:
        case DT_LNK:
        case DT_FIFO:
        case DT_CHR:
            return 0;
        default:
            return -1;
    }
}

}  // namespace

bool FileNavigator::isCanceled() const {
    return m_cancelable && PlatformImpl::isCanceled();
}

bool FileNavigator::isDirectory(const char* path) {
    mode_t mode;
    return fileMode(path, false, mode) && (mode & 040000) != 0;
}

bool FileNavigator::process(const SString& root) {
    m_pendingDirs.clear();
    m_visitedDirs.clear();
    m_pendingDirs.push_back(root);
    bool stop = false;
    long processed = 0;
    SString path;
    while (!m_pendingDirs.empty() && !stop && !isCanceled()) {
        SString dir = m_pendingDirs.back();
        m_pendingDirs.erase(m_pendingDirs.size() - 1);
        m_visitedDirs.push_back(dir);
        if (skipDirectory(dir)) continue;
        DirHandle handle(dir.c_str());
        if (!handle.get()) continue;
        SString prefix = dir;
        appendPathSeparator(prefix);
        while (!stop && !isCanceled()) {
            // A disk scan gives way to an interruption; a clean-up walk must finish.
            if (m_cancelable) PlatformImpl::checkInterrupted();
            struct dirent* entry = readdir(handle.get());
            if (!entry) break;
            const char* name = entry->d_name;
            if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
            path.assign(prefix).append(name);
            int isDir = directoryFromType(entry->d_type);
            if (isDir < 0) isDir = isDirectory(path.c_str()) ? 1 : 0;
            if (isDir) {
                m_pendingDirs.push_back(path);
            } else {
                stop = processFile(path);
                if (++processed % 1000 == 0) PlatformImpl::advanceUIProgress(1);
            }
        }
    }
    return stop;
}
