#pragma once
// Shared pieces of the process-level tests: a workspace with its own temporary and log
// files, descriptor texts for stand-in JVMs, and a runner that passes them to a bundle.

#include <sys/types.h>

#include <map>
#include <vector>

#include "support/Bundles.h"
#include "support/TestKit.h"

// Skips a test that needs a fake machine when private mount namespaces cannot be made.
#define REQUIRE_PRIVATE_MOUNTS()            \
    if (!testkit::privateMountsAvailable()) \
    GTEST_SKIP() << "needs private mount namespaces (run as root)"

// The class-data job is the launcher's own forked process, which closes every descriptor it
// does not keep: under an emulator of another machine those include the emulator's own, so
// the job cannot work there; its tests run where the stub runs natively.
#define REQUIRE_NATIVE_JOB()       \
    if (testkit::stubIsEmulated()) \
    GTEST_SKIP() << "the background job needs the stub to run natively"

namespace e2e {

using testkit::RunResult;

// A workspace: files, a temporary directory for the launcher and a log file.
class Workspace {
public:
    Workspace();
    const SString& root() const { return m_dir.path(); }
    SString file(const SString& name) const { return m_dir.file(name); }
    const SString& tempDir() const { return m_tempDir; }
    const SString& log() const { return m_log; }
    SString logText() const { return testkit::readFile(m_log); }

    // Runs `bundle` with -qn:tempdir and -qn:log first, then `args`; with `mounts`, on
    // that fake machine (see testkit::MountPlan).
    RunResult run(const SString& bundle, const std::vector<SString>& args = {},
                  const std::map<SString, SString>& env = {}, const SString& cwd = SString(),
                  const testkit::MountPlan* mounts = nullptr) const;
    // The same with `input` as the launcher's standard input.
    RunResult runWithInput(const SString& bundle, const std::vector<SString>& args,
                           const SString& input) const;
    // What the launcher left in its temporary directory.
    std::vector<SString> leftovers() const { return testkit::listDir(m_tempDir); }

private:
    RunResult runWith(const SString& bundle, const std::vector<SString>& args,
                      const std::map<SString, SString>& env, const SString& cwd,
                      const SString* input, const testkit::MountPlan* mounts = nullptr) const;

    testkit::ScopedTempDir m_dir;
    SString m_tempDir;
    SString m_log;
};

using testkit::ScopedTmpfs;

// A descriptor for a stand-in JVM: DESC, JVM_EXE bin/java, the class-path and property
// options, the given properties and path hints, and `extra` lines appended as they are.
SString descriptor(const SString& desc, const std::vector<SString>& properties,
                   const std::vector<SString>& pathHints, const SString& extra = SString());

// An instructions file holding `lines` as its INSTRUCTIONS values.
SString instructions(const std::vector<SString>& lines);

// A fake machine whose one-minute load average is `load` (its /proc/loadavg, in a file of
// `ws`), for the background job's busy-machine rule.
testkit::MountPlan machineWithLoad(const Workspace& ws, const SString& load);

// The processes (not zombies) whose program is the file `path`: a launcher, and the
// background jobs it left, which are copies of it.
std::vector<pid_t> processesRunning(const SString& path);
// Waits at most `seconds` until no process runs `path`; whether none does.
bool waitUntilNoneRuns(const SString& path, int seconds);

// The JDK's bin directory: the Debian JDK 17, else the javac on the PATH; empty if none.
SString jdkBin();

// The environment entry for a launcher run under strace: a sanitizer build's leak check
// stops the process's threads with ptrace at exit, which a traced process cannot, and would
// end the run with its own failure.
extern const std::pair<const SString, SString> kNoLeakCheckUnderTrace;

// Properties a stand-in reports and the descriptor line that expects them.
extern const std::map<SString, SString> kStandInProperties;
extern const std::vector<SString> kStandInExpected;

}  // namespace e2e
