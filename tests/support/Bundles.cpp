#include "support/Bundles.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "base/StdioFile.h"
#include "support/TestKit.h"

namespace testkit {

SString qnlaunchPath() {
    const char* stub = getenv("QN_STUB");
    if (!stub || !*stub) return hostStubPath();
    char resolved[PATH_MAX];
    return realpath(stub, resolved) ? SString(resolved) : SString(stub);
}
SString hostStubPath() {
    return SString(QN_BIN_DIR) + "/qnlaunch";
}
SString demoBundlePath() {
    SString stub = qnlaunchPath();
    return stub.substr(0, stub.rfind('/')) + "/hello";
}
SString qnpackPath() {
    return SString(QN_BIN_DIR) + "/qnpack";
}
SString verifyJarPath() {
    return QN_VERIFY_JAR;
}

BundleBuilder::BundleBuilder(const SString& workDir)
    : m_workDir(workDir + "/bundle-files"), m_stub(qnlaunchPath()) {
    makeDirs(m_workDir);
}

BundleBuilder& BundleBuilder::add(long type, const SString& name, const SString& content, long id) {
    SString path = m_workDir + "/" + std::to_string(m_files.size()) + "-" + std::to_string(type);
    writeFile(path, content);
    BundleFile file;
    file.type = type;
    file.id = id >= 0 ? id : m_nextId++;
    file.name = name;
    file.sourcePath = path;
    m_files.push_back(file);
    return *this;
}

BundleBuilder& BundleBuilder::addFile(long type, const SString& path, long id) {
    BundleFile file;
    file.type = type;
    file.id = id >= 0 ? id : m_nextId++;
    file.name = path.substr(path.rfind('/') + 1);
    file.sourcePath = path;
    m_files.push_back(file);
    return *this;
}

BundleBuilder& BundleBuilder::stub(const SString& path) {
    m_stub = path;
    return *this;
}

SString BundleBuilder::write(const SString& output) {
    BundleWriter::write(m_stub, m_files, output);
    return output;
}

StandInJvm StandInJvm::create(const SString& home, const std::map<SString, SString>& properties,
                              const SString& magic, const SString& appOutput,
                              const SString& appScript) {
    SString script =
        "#!/bin/sh\n"
        "# Stand-in for a JVM: records each call, answers the verifier.\n"
        "calls=\"${0%/bin/java}/calls\"\n"
        "mkdir -p \"$calls\"\n"
        "n=$(ls \"$calls\" | grep -c '\\.args$')\n"
        "n=$((n + 1))\n"
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$calls/$n.tmp\"\n"
        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$calls/$n.raw\"\n"
        "pwd > \"$calls/$n.cwd\"\n"
        "env > \"$calls/$n.env\"\n"
        "mv \"$calls/$n.tmp\" \"$calls/$n.args\"\n"
        "verify=0\n"
        "for a in \"$@\"; do [ \"$a\" = Verify ] && verify=1; done\n"
        "if [ $verify = 1 ]; then\n"
        "  printf '%s\\n' '" +
        magic +
        "'\n"
        "  seen=0\n"
        "  for a in \"$@\"; do\n"
        "    if [ $seen = 1 ]; then\n"
        "      case \"$a\" in\n";
    for (const auto& property : properties) {
        script += "        '" + property.first + "') printf '%s\\n' '" + property.second + "';;\n";
    }
    script +=
        "        *) echo;;\n"
        "      esac\n"
        "    fi\n"
        "    [ \"$a\" = Verify ] && seen=1\n"
        "  done\n"
        "  exit 0\n"
        "fi\n";
    script += appScript.empty() ? "printf '%s\\n' '" + appOutput + "'\n" : appScript + "\n";
    writeFile(home + "/bin/java", script, 0755);
    return StandInJvm{home};
}

std::vector<SString> StandInJvm::args(int call) const {
    return splitLines(readFile(home + "/calls/" + std::to_string(call) + ".args"));
}

std::vector<SString> StandInJvm::exactArgs(int call) const {
    const SString text = readFile(home + "/calls/" + std::to_string(call) + ".raw");
    std::vector<SString> result;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\0', start);
        if (end == SString::npos) end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

SString StandInJvm::cwd(int call) const {
    SString text = readFile(home + "/calls/" + std::to_string(call) + ".cwd");
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

SString StandInJvm::env(int call, const SString& name) const {
    SString text = "\n" + readFile(home + "/calls/" + std::to_string(call) + ".env");
    size_t at = text.find("\n" + name + "=");
    if (at == SString::npos) return "<unset>";
    size_t start = at + name.size() + 2;
    size_t end = text.find('\n', start);
    return text.substr(start, end == SString::npos ? SString::npos : end - start);
}

int StandInJvm::callCount() const {
    int n = 0;
    while (exists(home + "/calls/" + std::to_string(n + 1) + ".args")) ++n;
    return n;
}

namespace {

const unsigned char kElfMagic[] = {0x7f, 'E', 'L', 'F'};

// The ELF machine number of the program at `path`; 0 when it is no ELF file.
unsigned elfMachine(const SString& path) {
    StdioFile file(fopen(path.c_str(), "rb"));
    unsigned char header[20] = {};
    size_t n = file ? fread(header, 1, sizeof header, file.get()) : 0;
    if (n != sizeof header || memcmp(header, kElfMagic, sizeof kElfMagic) != 0) return 0;
    return header[18] | (header[19] << 8);  // e_machine, little-endian on both machines
}

std::vector<SString> emulatorWords() {
    std::vector<SString> words;
    const char* emulator = getenv("QN_EMULATOR");
    SString text = emulator ? emulator : "";
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(' ', start);
        if (end == SString::npos) end = text.size();
        if (end > start) words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

bool isForeign(const SString& program) {
    static const unsigned host = elfMachine("/proc/self/exe");
    unsigned machine = elfMachine(program);
    return machine != 0 && machine != host;
}

}  // namespace

bool stubIsEmulated() {
    return !emulatorWords().empty() && isForeign(qnlaunchPath());
}

std::vector<SString> withEmulator(const std::vector<SString>& argv) {
    std::vector<SString> emulator = emulatorWords();
    if (argv.empty() || emulator.empty() || !isForeign(argv[0])) return argv;
    emulator.insert(emulator.end(), argv.begin(), argv.end());
    return emulator;
}

void execProgram(const std::vector<SString>& argv) {
    std::vector<SString> command = withEmulator(argv);
    std::vector<char*> args;
    for (const SString& a : command) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The programs are paths; only the emulator's name may need the PATH.
    if (command.size() == argv.size()) {
        execv(args[0], args.data());
    } else {
        execvp(args[0], args.data());
    }
}

namespace {

// Makes the mount point `target` for `source` when it is missing: a directory, or an empty
// file for a file.
void makeMountPoint(const SString& source, const SString& target) {
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) return;
    for (size_t slash = target.find('/', 1); slash != SString::npos;
         slash = target.find('/', slash + 1)) {
        mkdir(target.substr(0, slash).c_str(), 0755);
    }
    if (source != "tmpfs" && stat(source.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        int fd = open(target.c_str(), O_WRONLY | O_CREAT, 0644);
        if (fd >= 0) close(fd);
    } else {
        mkdir(target.c_str(), 0755);
    }
}

// In a child: a private mount namespace with `mounts` made in it; false when that fails.
bool enterFakeMachine(const MountPlan& mounts) {
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    for (const auto& step : mounts) {
        const char* target = step.second.c_str();
        makeMountPoint(step.first, step.second);
        if (step.first.empty()) {
            const SString proc = step.second + "/proc";
            mkdir(proc.c_str(), 0555);
            if (mount("proc", proc.c_str(), "proc", 0, nullptr) != 0 || chroot(target) != 0 ||
                chdir("/") != 0) {
                return false;
            }
        } else if (step.first == "tmpfs") {
            if (mount("tmpfs", target, "tmpfs", 0, "mode=0755") != 0) return false;
        } else if (mount(step.first.c_str(), target, nullptr, MS_BIND | MS_REC, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool privateMountsAvailable() {
    static int available = -1;
    if (available < 0) {
        pid_t pid = fork();
        if (pid == 0) _exit(enterFakeMachine({}) ? 0 : 1);
        int status = 0;
        available = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0;
    }
    return available == 1;
}

RunResult run(const std::vector<SString>& argv, const SString& cwd,
              const std::map<SString, SString>& env, int timeoutSeconds, const SString* input,
              const MountPlan* mounts) {
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    int inputFd = -1;
    if (input) {
        int inPipe[2];
        if (pipe(inPipe) != 0) throw std::runtime_error("pipe failed");
        ssize_t written = write(inPipe[1], input->data(), input->size());
        close(inPipe[1]);
        if (written != static_cast<ssize_t>(input->size())) throw std::runtime_error("input");
        inputFd = inPipe[0];
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(inputFd >= 0 ? inputFd : open("/dev/null", O_RDONLY), 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        if (mounts && !enterFakeMachine(*mounts)) _exit(125);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        for (const auto& e : env) setenv(e.first.c_str(), e.second.c_str(), 1);
        execProgram(argv);
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (inputFd >= 0) close(inputFd);
    RunResult result;
    struct pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    SString* targets[2] = {&result.out, &result.err};
    int open = 2;
    time_t deadline = time(nullptr) + timeoutSeconds;
    bool timedOut = false;
    while (open > 0) {
        int left = static_cast<int>(deadline - time(nullptr));
        if (left <= 0) {
            timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, left * 1000) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
            } else {
                targets[i]->append(buffer, static_cast<size_t>(n));
            }
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (timedOut) result.err += "\n[test kit: killed after timeout]";
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::vector<SString> leftovers(const SString& dir) {
    return listDir(dir);
}

}  // namespace testkit
