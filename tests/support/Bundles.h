#pragma once
// Bundles and stand-in JVMs for tests: a builder over the real packer code, JVM homes whose
// bin/java is a shell script, and a runner for the built binaries.

#include <map>
#include <vector>

#include "base/SString.h"
#include "inputfiles/BundleWriter.h"

namespace testkit {

// Paths of the built artefacts. The stub under test is $QN_STUB when that is set (the
// build for another architecture, say), otherwise this build's qnlaunch.
SString qnlaunchPath();
SString qnpackPath();
SString verifyJarPath();
// This build's qnlaunch, the stub for this machine whatever stub is under test.
SString hostStubPath();
// The demo bundle beside the stub under test, packed with it.
SString demoBundlePath();

// A stub for another machine is started through the emulator command in $QN_EMULATOR
// (words separated by spaces, e.g. "qemu-aarch64 -L /usr/aarch64-linux-gnu"). True when
// the stub under test is such a stub: the kernel cannot start it, so a program it starts
// must be one for this machine.
bool stubIsEmulated();
// `argv` as it is started: behind the emulator when argv[0] is a program for another
// machine and $QN_EMULATOR is set, unchanged otherwise.
std::vector<SString> withEmulator(const std::vector<SString>& argv);
// Replaces the process with `argv` (through withEmulator); returns only when that fails.
void execProgram(const std::vector<SString>& argv);

// Collects files and writes a bundle through BundleWriter.
class BundleBuilder {
public:
    // Files are staged in `workDir`; the stub defaults to the built qnlaunch.
    explicit BundleBuilder(const SString& workDir);

    // Adds a file with `content` under `name` (ids default to 1, 2, 3 ...).
    BundleBuilder& add(long type, const SString& name, const SString& content, long id = -1);
    // Adds an existing file under its base name.
    BundleBuilder& addFile(long type, const SString& path, long id = -1);
    BundleBuilder& stub(const SString& path);
    // Writes the bundle to `output` and returns it.
    SString write(const SString& output);

private:
    SString m_workDir;
    SString m_stub;
    std::vector<BundleFile> m_files;
    long m_nextId = 1;
};

// A JVM home whose bin/java records its arguments, working directory and environment in
// `home`/calls/N.{args,cwd,env} and answers a verification run with `magic` and the given
// property values; any other run prints `appOutput`, or runs the shell lines `appScript`
// when they are given.
struct StandInJvm {
    SString home;
    // Creates the home. `properties` maps property names to the values printed.
    static StandInJvm create(const SString& home, const std::map<SString, SString>& properties,
                             const SString& magic = "1739021872",
                             const SString& appOutput = "stand-in application ran",
                             const SString& appScript = SString());
    // Arguments of the Nth recorded call (from 1), one element per argument.
    std::vector<SString> args(int call) const;
    // The same, exact also for arguments that hold line feeds.
    std::vector<SString> exactArgs(int call) const;
    SString cwd(int call) const;
    // Value of `name` in the Nth call's environment; "<unset>" when absent.
    SString env(int call, const SString& name) const;
    int callCount() const;
};

struct RunResult {
    int status = -1;  // exit status, or 128 + signal
    SString out;
    SString err;
};

// A fake machine for one run: mounts made in order, in a private mount namespace of the
// child alone, before it runs. Each source (a directory or a file) is bound at its target,
// which must exist, with the mounts below it; the source "tmpfs" mounts an empty tmpfs
// there instead; and an empty source makes the target the child's root (with /proc
// mounted in it), so the child sees nothing but what was mounted there. Nothing outside the
// child sees any of it, and it vanishes with the child.
using MountPlan = std::vector<std::pair<SString, SString>>;
// Whether this process may give a child a private mount namespace (as root; CI runs so).
bool privateMountsAvailable();

// Runs `argv` with `cwd` (empty: current) and extra environment entries, waiting at most
// `timeoutSeconds`; standard input is /dev/null, or a pipe that holds `input` (up to what a
// pipe takes, 64 KiB) when it is given. With `mounts`, the child runs on that fake machine
// (it ends with status 125 when the mounts cannot be made).
RunResult run(const std::vector<SString>& argv, const SString& cwd = SString(),
              const std::map<SString, SString>& env = {}, int timeoutSeconds = 120,
              const SString* input = nullptr, const MountPlan* mounts = nullptr);

// The launcher's temporary directory for a test: a fresh directory passed with -qn:tempdir.
// Lists what is left in it.
std::vector<SString> leftovers(const SString& dir);

}  // namespace testkit
