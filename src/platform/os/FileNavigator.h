#pragma once
// Walks a directory tree without recursion, depth first, handing every entry that is not
// a directory to processFile. Symbolic links are never followed.

#include "base/SString.h"
#include "base/StringDeque.h"

class FileNavigator {
public:
    explicit FileNavigator(bool cancelable) : m_cancelable(cancelable) {}
    virtual ~FileNavigator() = default;

    // Walks `root`; true when processFile asked to stop.
    virtual bool process(const SString& root);
    // Called for every entry that is not a directory; true stops the walk.
    virtual bool processFile(const SString& path) = 0;
    // Whether to leave a directory unread.
    virtual bool skipDirectory(const SString& /*dir*/) { return false; }

    bool isCanceled() const;
    // True when lstat succeeds and the mode has the directory bit (040000) set.
    static bool isDirectory(const char* path);

protected:
    StringDeque m_visitedDirs;
    StringDeque m_pendingDirs;
    bool m_cancelable;
};

// Receives the files a FindFiles walk finds.
class FileFindListener {
public:
    virtual ~FileFindListener() = default;
    // True ends the walk.
    virtual bool foundFile(const SString& path) = 0;
};
