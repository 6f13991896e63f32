#pragma once
// The door's operations on the user's private files, for policies such as the per-user
// cache: directories made private, small files read without following links, entries
// marked used, renamed and removed, and new files written under a temporary name and
// renamed into place whole.

#include <cstdint>
#include <functional>

#include "base/SString.h"
#include "base/UniqueFd.h"
#include "platform/os/FileIdentity.h"

// Makes `path` and the directories leading to it that are missing, each with mode 0700;
// 0, or the error number of the step that failed (ENOTDIR when a file stands in the way).
int makePrivateDirectories(const SString& path);
// Makes the directory `path` with mode 0700 unless a directory (not a link) stands there;
// false when it cannot be made or something else stands there.
bool makePrivateDirectory(const SString& path);
// Whether `path` was made just now by makePrivateDirectory's kind of call: false when it
// existed already (a directory) or cannot be made (errno tells which).
bool makeNewPrivateDirectory(const SString& path);
// The text of the plain file `path`, not through a link, when it holds at most `maxBytes`;
// false (content unspecified) when it is missing, not plain, larger or unreadable.
bool readSmallFile(const SString& path, unsigned long long maxBytes, SString& content);
// Sets the modification time of the entry `path` (a link itself) to now; false when that fails.
bool touchEntry(const SString& path);
// Creates the plain file `path` when missing (never through a link) and sets its time to
// now; false when neither works.
bool touchFile(const SString& path);
// Renames `from` to `to`, replacing a file there; false when that fails.
bool renameEntry(const SString& from, const SString& to);
// Removes the file `path` when it is there; nothing is reported.
void removeFile(const SString& path);
// Whether `path` is a plain file (not a link) of `size` bytes that belongs to the user
// running the launcher.
bool isOwnPlainFile(const SString& path, unsigned long long size);
// The running launcher's process id, for names of its own temporary files.
long currentProcessId();

// Calls `visit` with the name, path and facts (of the entry itself, not a link's target) of
// each entry of the directory `path` but "." and ".."; nothing when it cannot be read.
void forEachEntry(const SString& path,
                  const std::function<void(const SString& name, const SString& entryPath,
                                           const FileFacts& facts)>& visit);

// A new file in `directory` under a temporary name (".tmp-" and six characters), renamed to
// its final name by commit() and removed when it goes without one.
class CacheFile {
public:
    // Creates the temporary file in `directory`; check with valid().
    explicit CacheFile(const SString& directory);
    ~CacheFile();
    CacheFile(const CacheFile&) = delete;
    CacheFile& operator=(const CacheFile&) = delete;

    bool valid() const { return static_cast<bool>(m_fd); }
    int fd() const { return m_fd.get(); }
    const SString& temporaryPath() const { return m_path; }
    // Closes the file, gives it `mode` and renames it to `directory`/`name`, replacing what
    // is there; false (and the file removed) when any step fails.
    bool commit(const SString& name, unsigned mode);
    // Writes all of `text`; false when a write fails.
    bool write(const SString& text);

private:
    SString m_directory;
    SString m_path;
    UniqueFd m_fd;
};
