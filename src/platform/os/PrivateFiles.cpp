#include "platform/os/PrivateFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "base/Paths.h"
#include "platform/os/FileMode.h"
#include "platform/os/RangeCopy.h"

int makePrivateDirectories(const SString& path) {
    mode_t mode;
    if (fileMode(path.c_str(), true, mode)) return S_ISDIR(mode) ? 0 : ENOTDIR;
    const SString parent = dirName(path);
    if (!parent.empty() && parent != "/") {
        const int error = makePrivateDirectories(parent);
        if (error != 0) return error;
    }
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    return 0;
}

bool makeNewPrivateDirectory(const SString& path) {
    return mkdir(path.c_str(), 0700) == 0;
}

bool makePrivateDirectory(const SString& path) {
    if (makeNewPrivateDirectory(path)) return true;
    mode_t mode;
    return errno == EEXIST && fileMode(path.c_str(), false, mode) && S_ISDIR(mode);
}

bool readSmallFile(const SString& path, unsigned long long maxBytes, SString& content) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    FileFacts info;
    if (!fd || !fileFacts(fd.get(), info) || !info.isRegular || info.size > maxBytes) {
        return false;
    }
    // One byte more than the size tells a file that grew meanwhile.
    return readAt(fd.get(), 0, static_cast<size_t>(info.size) + 1, content) &&
           content.size() <= maxBytes;
}

bool touchEntry(const SString& path) {
    return utimensat(AT_FDCWD, path.c_str(), nullptr, AT_SYMLINK_NOFOLLOW) == 0;
}

bool touchFile(const SString& path) {
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    return fd && futimens(fd.get(), nullptr) == 0;
}

bool renameEntry(const SString& from, const SString& to) {
    return rename(from.c_str(), to.c_str()) == 0;
}

void removeFile(const SString& path) {
    unlink(path.c_str());
}

bool isOwnPlainFile(const SString& path, unsigned long long size) {
    FileFacts info;
    return fileFacts(path, false, info) && info.isRegular && info.uid == geteuid() &&
           info.size == size;
}

long currentProcessId() {
    return static_cast<long>(getpid());
}

void forEachEntry(const SString& path,
                  const std::function<void(const SString& name, const SString& entryPath,
                                           const FileFacts& facts)>& visit) {
    struct Closer {
        void operator()(DIR* dir) const { closedir(dir); }
    };
    std::unique_ptr<DIR, Closer> dir(opendir(path.c_str()));
    if (!dir) return;
    while (struct dirent* entry = readdir(dir.get())) {
        const SString name = entry->d_name;
        if (name == "." || name == "..") continue;
        const SString child = joinPath(path, name);
        FileFacts facts;
        if (fileFacts(child, false, facts)) visit(name, child, facts);
    }
}

CacheFile::CacheFile(const SString& directory) : m_directory(directory) {
    SString pattern = joinPath(directory, ".tmp-XXXXXX");
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    m_fd.reset(mkostemp(name.data(), O_CLOEXEC));
    if (m_fd) m_path = name.data();
}

CacheFile::~CacheFile() {
    if (!m_path.empty()) unlink(m_path.c_str());
}

bool CacheFile::write(const SString& text) {
    return m_fd && writeFully(m_fd.get(), text.data(), text.size());
}

bool CacheFile::commit(const SString& name, unsigned mode) {
    if (!m_fd) return false;
    const bool written = fchmod(m_fd.get(), mode) == 0 && m_fd.close();
    if (!written || rename(m_path.c_str(), joinPath(m_directory, name).c_str()) != 0) {
        return false;
    }
    m_path.clear();
    return true;
}
