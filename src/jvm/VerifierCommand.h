#pragma once
// The run of a candidate JVM on the verifier class, built as an argument vector so that no
// shell ever reads a home, a path or an environment value: the JVM's program, the class-path
// option the launch script's CP function would give, the class name and the property names.

#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"

class JVMFile;
struct BundleContext;

struct VerifierCommand {
    std::vector<SString> arguments;
    // The same as shell text that would pass the same arguments, for the log.
    SString shown;
    // The launcher's directory, where the verifier runs.
    SString workingDir;
    // NAME=value entries set in the verifier's own environment: JAVA_HOME, and the class
    // path for a descriptor that passes it in a variable.
    std::vector<SString> environment;
};

// The command that verifies `jvm` at `jvmHome` with the verifier class `verifyClassName`
// from `verifyClassPath` (one class path, written in double quotes or not) and asks for
// `propertyNames`, with the runtime files and the directory of `context` (null: none).
// With a descriptor that passes the class path in an environment variable
// (USE_CP_ENV_VAR 1), that variable goes into the command's environment and the log.
VerifierCommand buildVerifierCommand(const JVMFile& jvm, const BundleContext* context,
                                     const SString& jvmHome, const SString& verifyClassPath,
                                     const SString& verifyClassName,
                                     const StringDeque& propertyNames);
