#include "platform/os/SpoolFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/PlatformImpl.h"

// An unnamed file in `dir`: made without a name where the file system can, otherwise
// created under a unique name that is removed at once.
static int openNameless(const SString& dir) {
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    SString pattern = dir;
    if (pattern.empty() || pattern.back() != '/') pattern += '/';
    pattern += "qnjXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) unlink(name.data());
    return fd;
}

bool SpoolFile::write(const char* data, size_t size) {
    if (m_failed) return false;
    if (!m_fd) {
        m_fd.reset(openNameless(PlatformImpl::getSystemTempDirectory()));
        if (!m_fd) m_fd.reset(openNameless("/tmp"));
        if (!m_fd) {
            m_failed = true;
            return false;
        }
    }
    while (size > 0) {
        ssize_t n = ::write(m_fd.get(), data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void SpoolFile::readBack(const std::function<void(const char*, size_t)>& consumer) const {
    if (!m_fd) return;
    std::vector<char> buffer(1 << 16);
    off_t position = 0;
    for (;;) {
        ssize_t n = pread(m_fd.get(), buffer.data(), buffer.size(), position);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        consumer(buffer.data(), static_cast<size_t>(n));
        position += n;
    }
}
