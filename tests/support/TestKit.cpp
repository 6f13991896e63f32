#include "support/TestKit.h"

#include "support/StateAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"

namespace testkit {

namespace {
// The tests expect the English texts, whatever language the machine running them uses;
// a test about another language sets LANG itself.
const bool g_englishTexts = (setenv("LANG", "C", 1), unsetenv("LANGUAGE"), true);
// Runs keep nothing between them unless a test names a cache of its own, so each test sees
// the launcher's behaviour without one, whatever the user running them has cached.
const bool g_noUserCache = (setenv("QNLAUNCH_CACHE", "off", 1), true);
}  // namespace

ScopedTempDir::ScopedTempDir() {
    char name[] = "/tmp/qntestXXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    m_path = name;
}

ScopedTempDir::~ScopedTempDir() {
    removeTree(m_path);
}

void makeDirs(const SString& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0777);
        if (slash == SString::npos) break;
    }
}

void writeFile(const SString& path, const SString& content, unsigned mode) {
    size_t slash = path.rfind('/');
    if (slash != SString::npos && slash > 0) makeDirs(path.substr(0, slash));
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    fwrite(content.data(), 1, content.size(), f);
    fclose(f);
    if (mode) chmod(path.c_str(), mode);
}

SString readFile(const SString& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return SString();
    SString text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
    return text;
}

bool exists(const SString& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

unsigned permissions(const SString& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::vector<SString> listDir(const SString& path) {
    std::vector<SString> names;
    DIR* dir = opendir(path.c_str());
    if (!dir) return names;
    while (struct dirent* e = readdir(dir)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

void removeTree(const SString& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        for (const SString& name : listDir(path)) removeTree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

SString swapForLink(const SString& path, const SString& target) {
    const SString moved = path + ".moved";
    if (rename(path.c_str(), moved.c_str()) != 0 || symlink(target.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("cannot swap " + path);
    }
    return moved;
}

void chownTo(const SString& path, unsigned uid) {
    if (lchown(path.c_str(), uid, static_cast<gid_t>(-1)) != 0) {
        throw std::runtime_error("cannot chown " + path);
    }
}

ScopedTmpfs::ScopedTmpfs(const SString& path, const char* options, unsigned long flags)
    : m_path(path), m_mounted(mount("tmpfs", path.c_str(), "tmpfs", flags, options) == 0) {}

ScopedTmpfs::~ScopedTmpfs() {
    if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
}

LauncherState::LauncherState(const SString& launcherPath, bool quiet) {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) m_savedCwd = cwd;
    StateAccess::resetAll();
    StateAccess::setLauncherFile(launcherPath);
    StateAccess::setOriginalLauncherFile(launcherPath);
    if (quiet) PlatformImpl::setSilent(true);
}

LauncherState::~LauncherState() {
    StateAccess::resetAll();
    if (!m_savedCwd.empty() && chdir(m_savedCwd.c_str()) != 0) perror("chdir");
}

StdoutCapture::StdoutCapture(int fd) : m_fd(fd) {
    char name[] = "/tmp/qnstdoutXXXXXX";
    int file = mkstemp(name);
    if (file < 0) throw std::runtime_error("mkstemp failed");
    m_path = name;
    fflush(nullptr);
    m_savedFd = dup(m_fd);
    dup2(file, m_fd);
    close(file);
}

StdoutCapture::~StdoutCapture() {
    finish();
}

SString StdoutCapture::finish() {
    if (m_done) return m_text;
    fflush(nullptr);
    dup2(m_savedFd, m_fd);
    close(m_savedFd);
    m_text = readFile(m_path);
    unlink(m_path.c_str());
    m_done = true;
    return m_text;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = getenv(name);
    m_hadValue = old != nullptr;
    if (old) m_oldValue = old;
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (m_hadValue) {
        setenv(m_name.c_str(), m_oldValue.c_str(), 1);
    } else {
        unsetenv(m_name.c_str());
    }
}

ScopedFileSizeLimit::ScopedFileSizeLimit(unsigned long bytes) {
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    m_savedCurrent = limit.rlim_cur;
    m_previousHandler = signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_savedCurrent;
    setrlimit(RLIMIT_FSIZE, &limit);
    signal(SIGXFSZ, m_previousHandler);
}

SString patternBytes(size_t size) {
    SString text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return text;
}

std::vector<SString> splitLines(const SString& text) {
    std::vector<SString> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == SString::npos) end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

int waitExit(pid_t pid, double seconds) {
    for (int i = 0; i < seconds * 100; ++i) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

const int SavedSignalHandlers::kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};

SavedSignalHandlers::SavedSignalHandlers() {
    for (size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], nullptr, &m_saved[i]);
}

SavedSignalHandlers::~SavedSignalHandlers() {
    for (size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &m_saved[i], nullptr);
}

}  // namespace testkit
