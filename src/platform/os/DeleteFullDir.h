#pragma once
// Deletes a file or a directory tree through open directory descriptors, bottom-up: no
// symbolic link is followed and nothing outside the tree is touched, whatever is renamed or
// replaced meanwhile. What cannot be removed is logged and left, with the directories above it.

#include "base/SString.h"

class DeleteFullDir {
public:
    virtual ~DeleteFullDir() = default;

    // Removes `path`: a directory with everything in it, anything else (a symbolic link
    // included) as the entry it is. The directories leading to it are followed as named.
    // True when it is gone.
    bool process(const SString& path);
    // Removes everything inside the open directory `dirFd`, which messages call `shownPath`;
    // true when it is empty afterwards.
    bool emptyDirectory(int dirFd, const SString& shownPath);
    // Removes the entry `name` of the open directory `dirFd`, a directory with its contents.
    bool removeEntry(int dirFd, const char* name, const SString& shownPath);

protected:
    // Unlinks one entry (unlinkat with `flags`); 0, or the error number. Tests replace it
    // to stand for entries that vanish or stay.
    virtual int unlinkEntry(int dirFd, const char* name, int flags);

private:
    // How deep the removal is below the directory it started in.
    int m_depth = 0;
};

// Logs the warning for a path that could not be deleted.
void logDeleteFileFailure(const SString& path, int errorNumber);
