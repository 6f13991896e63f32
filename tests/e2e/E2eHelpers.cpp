#include "e2e/E2eHelpers.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cstdlib>

namespace e2e {

const std::map<SString, SString> kStandInProperties = {{"java.version", "17.0.9"},
                                                       {"java.vendor", "Stand-in"}};
const std::pair<const SString, SString> kNoLeakCheckUnderTrace = {"ASAN_OPTIONS", "detect_leaks=0"};
const std::vector<SString> kStandInExpected = {"java.version=17...", "java.vendor=Stand-in"};

Workspace::Workspace() : m_tempDir(m_dir.file("tmp")), m_log(m_dir.file("launcher.log")) {
    testkit::makeDirs(m_tempDir);
}

RunResult Workspace::run(const SString& bundle, const std::vector<SString>& args,
                         const std::map<SString, SString>& env, const SString& cwd,
                         const testkit::MountPlan* mounts) const {
    return runWith(bundle, args, env, cwd, nullptr, mounts);
}

RunResult Workspace::runWithInput(const SString& bundle, const std::vector<SString>& args,
                                  const SString& input) const {
    return runWith(bundle, args, {}, SString(), &input);
}

RunResult Workspace::runWith(const SString& bundle, const std::vector<SString>& args,
                             const std::map<SString, SString>& env, const SString& cwd,
                             const SString* input, const testkit::MountPlan* mounts) const {
    std::vector<SString> argv = {bundle, "-qn:tempdir", m_tempDir, "-qn:log", m_log};
    argv.insert(argv.end(), args.begin(), args.end());
    std::map<SString, SString> environment = env;
    environment.emplace("TMPDIR", m_tempDir);
    return testkit::run(argv, cwd.empty() ? root() : cwd, environment, 120, input, mounts);
}

SString descriptor(const SString& desc, const std::vector<SString>& properties,
                   const std::vector<SString>& pathHints, const SString& extra) {
    SString text = "DESC: " + desc +
                   "\nJVM_EXE: bin/java\nCLASSPATH: \"-cp \"\nCLASSPATH_SEPARATOR: :\n"
                   "SYSTEM: -D\nSYSTEM_SEPARATOR: =\n";
    if (!properties.empty()) {
        text += "JVM_PROPERTIES:\n";
        for (const SString& p : properties) text += "  " + p + "\n";
        text += "/:\n";
    }
    if (!pathHints.empty()) {
        text += "PATH_HINT:\n";
        for (const SString& h : pathHints) text += "  " + h + "\n";
        text += "/:\n";
    }
    return text + extra;
}

SString instructions(const std::vector<SString>& lines) {
    SString text = "INSTRUCTIONS:\n";
    for (const SString& line : lines) text += "  " + line + "\n";
    return text + "/:\n";
}

testkit::MountPlan machineWithLoad(const Workspace& ws, const SString& load) {
    const SString file = ws.file("loadavg-" + load);
    testkit::writeFile(file, load + " " + load + " " + load + " 1/100 1\n");
    return {{file, "/proc/loadavg"}};
}

std::vector<pid_t> processesRunning(const SString& path) {
    std::vector<pid_t> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    while (struct dirent* entry = readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(atol(entry->d_name));
        if (pid <= 0) continue;
        const SString base = "/proc/" + SString(entry->d_name);
        char target[PATH_MAX];
        const ssize_t n = readlink((base + "/exe").c_str(), target, sizeof target - 1);
        if (n <= 0 || SString(target, static_cast<size_t>(n)) != path) continue;
        // A zombie keeps its link a moment; it runs nothing.
        const SString stat = testkit::readFile(base + "/stat");
        const size_t end = stat.rfind(')');
        if (end != SString::npos && stat.compare(end, 4, ") Z ") == 0) continue;
        found.push_back(pid);
    }
    closedir(proc);
    return found;
}

bool waitUntilNoneRuns(const SString& path, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (processesRunning(path).empty()) return true;
        usleep(50000);
    }
    return false;
}

SString jdkBin() {
    const SString debian = "/usr/lib/jvm/java-17-openjdk-amd64/bin";
    if (access((debian + "/javac").c_str(), X_OK) == 0) return debian;
    RunResult r = testkit::run({"/bin/sh", "-c", "command -v javac"});
    if (r.status != 0 || r.out.size() < 7) return SString();
    return r.out.substr(0, r.out.rfind('/'));
}

}  // namespace e2e
