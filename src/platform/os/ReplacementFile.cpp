#include "platform/os/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/Paths.h"
#include "platform/os/FileMode.h"

namespace {

mode_t currentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

}  // namespace

ReplacementFile::ReplacementFile(const SString& path) : m_path(path) {
    SString directory = dirName(path);
    if (directory.empty()) directory = ".";
    m_fd.reset(open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (m_fd) return;
    // Not offered by this file system: a hidden name beside the path instead.
    SString pattern = joinPath(dirName(path), "." + baseName(path) + ".XXXXXX");
    std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
    m_fd.reset(mkostemp(name.data(), O_CLOEXEC));
    if (m_fd) m_temporaryName = name.data();
}

ReplacementFile::~ReplacementFile() {
    if (!m_temporaryName.empty()) unlink(m_temporaryName.c_str());
}

bool ReplacementFile::commit(unsigned mode) {
    if (!m_fd) return false;
    if (fchmod(m_fd.get(), mode & ~currentUmask()) != 0) return false;
    if (m_temporaryName.empty()) {
        // An unnamed file gets a hidden name first: linking cannot replace what is there.
        SString pattern = joinPath(dirName(m_path), "." + baseName(m_path) + ".XXXXXX");
        std::vector<char> name(pattern.c_str(), pattern.c_str() + pattern.size() + 1);
        UniqueFd placeholder(mkostemp(name.data(), O_CLOEXEC));
        if (!placeholder) return false;
        placeholder.close();
        unlink(name.data());
        const SString self = "/proc/self/fd/" + std::to_string(m_fd.get());
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.data(), AT_SYMLINK_FOLLOW) != 0) {
            return false;
        }
        m_temporaryName = name.data();
    }
    if (!m_fd.close()) return false;
    if (rename(m_temporaryName.c_str(), m_path.c_str()) != 0) return false;
    m_temporaryName.clear();
    return true;
}

bool isSpecialOutput(const SString& path) {
    mode_t mode;
    return fileMode(path.c_str(), true, mode) && !S_ISREG(mode);
}
