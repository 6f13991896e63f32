#pragma once
// A file that has no name until it is whole: made unnamed in a directory's file system
// (O_TMPFILE), so whatever kills the process that writes it, nothing is left behind. A
// program the launcher starts reaches it through an inherited descriptor as
// /proc/self/fd/N; publish() then names it in one step that never shows a partial file.

#include "base/SString.h"
#include "base/UniqueFd.h"

class UnnamedFile {
public:
    UnnamedFile() = default;
    UnnamedFile(UnnamedFile&&) = default;
    UnnamedFile& operator=(UnnamedFile&&) = default;

    // A new empty file (mode 0600) in the file system of `directory`; an invalid object
    // (errno set, EOPNOTSUPP or EISDIR where the file system cannot make one) on failure.
    static UnnamedFile create(const SString& directory);

    bool valid() const { return static_cast<bool>(m_fd); }
    // The descriptor; close-on-exec, so only children told to inherit it get it.
    int fd() const { return m_fd.get(); }
    // The name a process that inherited the descriptor opens it by.
    SString procPath() const;
    // Its size now; -1 when it cannot be examined.
    long long size() const;
    // Appends all of `text`; false (errno set) when a write fails.
    bool write(const SString& text) const;
    // Up to `maxBytes` from its start into `content`; false when reading fails.
    bool readStart(size_t maxBytes, SString& content) const;
    // The file's identity as fileIdentity gives it (with change time); "-" when unknown.
    SString identity() const;

    // Names the file `directory`/`name` with `mode`, replacing what is there: linked under
    // a temporary name of this process first, then renamed, so the name never holds part
    // of a file. False (errno set, and no new name left) when a step fails.
    bool publish(const SString& directory, const SString& name, unsigned mode) const;

private:
    explicit UnnamedFile(int fd) : m_fd(fd) {}
    UniqueFd m_fd;
};
