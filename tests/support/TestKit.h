#pragma once
// Test kit: scoped temporary directories, file helpers, a guard that resets the launcher's
// process-wide state, stdout capture and saved signal handlers.

#include <signal.h>
#include <sys/types.h>

#include <map>
#include <vector>

#include "base/SString.h"

namespace testkit {

// A new directory under /tmp, removed with everything in it when the object goes.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const SString& path() const { return m_path; }
    // path() + "/" + name
    SString file(const SString& name) const { return m_path + "/" + name; }

private:
    SString m_path;
};

// Writes `content` to `path` (creating parent directories); `mode` applied when not 0.
void writeFile(const SString& path, const SString& content, unsigned mode = 0);
// The whole content of `path`; empty when it cannot be read.
SString readFile(const SString& path);
// The lines of `text`, without their line feeds; a last line without one counts too.
std::vector<SString> splitLines(const SString& text);

// `size` bytes that repeat at no power of two, so a block copied to the wrong place shows.
SString patternBytes(size_t size);
// Waits for the child `pid` at most `seconds`; its raw wait status, or -1 (and it is killed).
int waitExit(pid_t pid, double seconds = 20);
bool exists(const SString& path);
// The permission bits (07777) of `path`, links followed; 0 when it cannot be examined.
unsigned permissions(const SString& path);
void makeDirs(const SString& path);
// Names of the entries of a directory, sorted; empty when it cannot be read.
std::vector<SString> listDir(const SString& path);
void removeTree(const SString& path);
// Stands in for someone who swaps a directory: renames `path` to `path`.moved and puts a
// symbolic link to `target` in its place. Returns the moved directory's path.
SString swapForLink(const SString& path, const SString& target);
// Changes the owner of `path` (not following a link) to the uid, as another user's file.
void chownTo(const SString& path, unsigned uid);

// Resets the static state of the launcher and the platform layer on entry and exit, and
// points the launcher at `launcherPath`. Output is silenced unless `quiet` is false.
class LauncherState {
public:
    explicit LauncherState(const SString& launcherPath = SString(), bool quiet = true);
    ~LauncherState();
    LauncherState(const LauncherState&) = delete;
    LauncherState& operator=(const LauncherState&) = delete;

private:
    SString m_savedCwd;
};

// Captures what the process writes to standard output (or to descriptor `fd`, 2 for
// standard error) while it lives.
class StdoutCapture {
public:
    explicit StdoutCapture(int fd = 1);
    ~StdoutCapture();
    // Stops capturing (once) and returns everything written.
    SString finish();

private:
    int m_fd;
    int m_savedFd = -1;
    SString m_path;
    bool m_done = false;
    SString m_text;
};

// Sets an environment variable for the lifetime of the object and restores it after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);  // value null: unset
    ~ScopedEnv();

private:
    SString m_name;
    bool m_hadValue;
    SString m_oldValue;
};

// Limits the size of files this process writes to `bytes` (SIGXFSZ ignored, so a write
// past it fails with EFBIG, as on a full disk) until it goes out of scope.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(unsigned long bytes);
    ~ScopedFileSizeLimit();
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    unsigned long m_savedCurrent;
    void (*m_previousHandler)(int);
};

// A tmpfs mounted at `path` for the life of the object, with mount `flags` (MS_NOEXEC, say)
// and `options`; mounted() is false where mounting is not allowed.
class ScopedTmpfs {
public:
    ScopedTmpfs(const SString& path, const char* options, unsigned long flags = 0);
    ~ScopedTmpfs();
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;
    bool mounted() const { return m_mounted; }

private:
    SString m_path;
    bool m_mounted;
};

// Puts the interruption handlers of the test process back when it goes out of scope, for
// tests that install the launcher's and raise a signal.
class SavedSignalHandlers {
public:
    SavedSignalHandlers();
    ~SavedSignalHandlers();
    SavedSignalHandlers(const SavedSignalHandlers&) = delete;
    SavedSignalHandlers& operator=(const SavedSignalHandlers&) = delete;

private:
    static constexpr size_t kCount = 5;
    static const int kSignals[kCount];
    struct sigaction m_saved[kCount];
};

}  // namespace testkit
