#include "platform/os/UnnamedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/RunState.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/RangeCopy.h"

namespace {

// Names this process linked files under before renaming them, so each is new.
RunState<long> g_published;

}  // namespace

UnnamedFile UnnamedFile::create(const SString& directory) {
    return UnnamedFile(open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
}

SString UnnamedFile::procPath() const {
    return "/proc/self/fd/" + convertToString(static_cast<long>(m_fd.get()));
}

long long UnnamedFile::size() const {
    FileFacts facts;
    return m_fd && fileFacts(m_fd.get(), facts) ? static_cast<long long>(facts.size) : -1;
}

bool UnnamedFile::write(const SString& text) const {
    return m_fd && writeFully(m_fd.get(), text.data(), text.size());
}

bool UnnamedFile::readStart(size_t maxBytes, SString& content) const {
    content.clear();
    return m_fd && readAt(m_fd.get(), 0, maxBytes, content);
}

SString UnnamedFile::identity() const {
    return m_fd ? fileIdentity(m_fd.get(), true) : SString("-");
}

bool UnnamedFile::publish(const SString& directory, const SString& name, unsigned mode) const {
    if (!m_fd || fchmod(m_fd.get(), mode) != 0) return false;
    const SString temporary =
        joinPath(directory, ".new-" + convertToString(static_cast<long>(getpid())) + "-" +
                                convertToString(++g_published));
    // A name of a dead process of the same id may stand there: it is no one's.
    unlink(temporary.c_str());
    if (linkat(AT_FDCWD, procPath().c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        return false;
    }
    if (rename(temporary.c_str(), joinPath(directory, name).c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}
