#pragma once
// The launcher's private temporary directories, worked on through the descriptors opened
// when they were made: files are created in them, and they are removed, through those
// descriptors, so that renaming a directory or putting a symbolic link in its place cannot
// send a write or a deletion anywhere else. Also the exclusive creation of files elsewhere.

#include <vector>

#include "base/SString.h"
#include "base/StdioFile.h"
#include "base/UniqueFd.h"
#include "platform/os/HeldDirectory.h"

// Hears of a directory the moment it is made, before it is opened. The launcher passes
// none; tests pass one that stands in for someone who swaps the directory right then.
class CreationObserver {
public:
    virtual ~CreationObserver() = default;
    virtual void made(const char* path) = 0;
};

// Makes a directory from `name` (a path ending in XXXXXX, which is filled in place), owned
// by the running user with mode 0700 whatever the umask, and keeps it open for the run.
// Throws LauncherException: with the system's text when it cannot be made, with a message
// naming it when what stands at its name is no longer the directory just made.
void createPrivateDirectory(std::vector<char>& name, CreationObserver* observer = nullptr);
// Makes a new empty file from `name` (filled in place) with mode 0600 whatever the umask;
// false with errno set when it cannot be made.
bool createPrivateFile(std::vector<char>& name);

// Creates `name` in `directory` (the current directory when empty) for writing: a new
// file, never an existing one and never through a symbolic link. In a directory made by
// createPrivateDirectory the file lands in that very directory, whatever its path leads to
// now, with mode 0600; elsewhere its mode is 0666 less the umask. Throws LauncherException
// naming the entry when one of that name exists; other failures give an empty descriptor
// with errno set.
UniqueFd createFileIn(const SString& directory, const SString& name);
// The same as a C stream for binary writing; an empty handle (errno set) on failure.
StdioFile createFileStreamIn(const SString& directory, const SString& name);
// Whether `directory` (the current directory when empty) holds an entry `name`; a
// symbolic link counts, whether or not it leads anywhere.
bool entryExists(const SString& directory, const SString& name);

// The directory made by createPrivateDirectory at `path`, held by a new descriptor of the
// one kept for the run (so it is that very directory, wherever its path leads now); empty
// when `path` is no such directory of this run.
HeldDirectory heldPrivateDirectory(const SString& path);

// Removes a directory made by createPrivateDirectory with everything in it, through its
// descriptor; its name goes too unless something else stands there now (logged and left).
// Any other path is removed as DeleteFullDir removes it. Failures are only logged.
void removeCreatedTree(const SString& path);
