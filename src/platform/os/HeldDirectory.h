#pragma once
// A directory held open by its descriptor, and the work done relative to it: entries are
// made exclusively and never through a symbolic link, directories are entered without
// following one, and renames never replace what is there. Whatever happens to the path the
// directory was opened by, the work lands in that very directory.

#include "base/SString.h"
#include "base/UniqueFd.h"

class HeldDirectory {
public:
    HeldDirectory() = default;
    // Takes over `fd`, an open directory that messages call `path`.
    HeldDirectory(UniqueFd fd, const SString& path) : m_fd(std::move(fd)), m_path(path) {}

    // `path` opened as a directory, symbolic links on the way followed (for paths whose
    // safety was checked); empty (errno set) when it cannot be.
    static HeldDirectory open(const SString& path);

    explicit operator bool() const { return static_cast<bool>(m_fd); }
    int fd() const { return m_fd.get(); }
    const SString& path() const { return m_path; }
    // The path of the entry `name` in it, for messages and for handing on.
    SString pathOf(const SString& name) const;

    // Why the directory is not the running user's alone (another owner, writable by group
    // or others); empty when it is. Asked of the descriptor, not of the path.
    SString privacyProblem() const;

    // The directory `name` in it, entered without following a link; empty (errno set) when
    // it is missing or no directory (ELOOP or ENOTDIR for a link).
    HeldDirectory openChild(const SString& name) const;
    // Makes the new directory `name` with exactly `mode` (the umask aside) and enters it;
    // empty (errno set; EEXIST when an entry of that name exists) on failure, or when what
    // stands there once made is not the running user's directory (EEXIST).
    HeldDirectory makeChild(const SString& name, unsigned mode) const;
    // Makes the new file `name` for writing with exactly `mode`, never over an existing
    // entry or through a link; empty (errno set) on failure.
    UniqueFd createFile(const SString& name, unsigned mode) const;
    // Whether `name` is a regular file (a link is not followed).
    bool holdsRegularFile(const SString& name) const;
    // Whether the entry `name` is the very directory `other` holds (a link is not followed).
    bool holdsEntry(const SString& name, const HeldDirectory& other) const;

    // Renames `from` to `to`, both in this directory, unless `to` exists: 0, or the error
    // number (EEXIST or ENOTEMPTY when `to` exists). Where the file system cannot rename
    // without replacing, a plain rename follows a check that `to` is absent: a directory
    // made at `to` in between is then replaced when empty, never when it holds anything.
    int renameNoReplace(const SString& from, const SString& to) const;
    // Removes the entry `name` with everything below it, never following a link; true when
    // it is gone. What cannot be removed is logged and left.
    bool removeTree(const SString& name) const;
    // Removes everything in the directory; true when it is empty afterwards.
    bool removeContents() const;

    // Gives the directory exactly `mode`; false (errno set) on failure.
    bool setMode(unsigned mode) const;
    // Sets its modification time to now (the cache's mark of use); false on failure.
    bool touch() const;
    // A new descriptor of the directory, with close-on-exec only when `closeOnExec`; empty
    // (errno set) on failure.
    UniqueFd duplicate(bool closeOnExec) const;

private:
    UniqueFd m_fd;
    SString m_path;
};
