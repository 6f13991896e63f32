#pragma once
// The launch script: a command template whose function (%NAME%(...)), descriptor (@TAG@)
// and environment (#NAME#) macros are resolved against one JVM descriptor, then run.

#include "base/SString.h"
#include "base/StringDeque.h"
#include "inputfiles/MacroHandler.h"
#include "inputfiles/RuntimeFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/ShellLiterals.h"

class JVMFile;
class TagFile;

class LaunchScript : public MacroHandler {
public:
    // From a launch-script tag file (COMMAND, DISPLAY_CONSOLE, AUTO_SET_WORKING_DIR, QUIET,
    // DESC, ARCHIVE, CLASS_DATA); embedded class-path archives are added to the class path.
    LaunchScript(const TagFile& script, bool captureOutput);
    // From a bare command, as JVM verification builds one.
    LaunchScript(const SString& command, bool captureOutput, bool extractArchives);

    // The command with function, then descriptor, then environment macros replaced. Paths
    // known only at run time and environment values reach the program as their bytes:
    // they are quoted for the shell where they stand, and never scanned for macros.
    // Throws LauncherException ("Launch script error: ...") on a macro error.
    SString resolve(const JVMFile& jvm);
    void processMacro(SString& text, char delimiter, size_t start, size_t& end) const override;
    // Parses "(" quoted-arguments ")" from `pos` into `args`; leaves `pos` behind the ")".
    void getArguments(const SString& text, size_t& pos, StringDeque& args) const;
    // Logs the text being resolved and throws "Launch script error: " + message.
    [[noreturn]] void throwException(const SString& text, const char* message) const;

    // Java command line pieces, computed against the descriptor being resolved.
    void addToClasspath(const JVMFile& jvm, SString& classpath, const SString& entry) const;
    SString buildRuntimeClasspath(const JVMFile& jvm, const char* extension) const;
    SString buildJVMClasspath(const JVMFile& jvm) const;
    SString buildJARClasspath(const JVMFile& jvm) const;
    SString makeSystemProp(const JVMFile& jvm, const SString& name, const SString& value) const;
    SString buildRuntimeSystemProps(const JVMFile& jvm) const;
    SString buildRuntimeJavaArgs(const JVMFile& jvm) const;

    // Resolves the command, appends the pass-through arguments (may be null), exports
    // JAVA_HOME and runs it as a child, waiting for it. Captured output of a launch-script
    // tag file is written to the log as it arrives; of a bare command it is kept, then logged.
    // Returns the child's raw wait status.
    int execute(const JVMFile& jvm, const StringDeque* passThroughArgs, bool showConsole);

    SString m_command;
    bool m_captureOutput;
    // Captured bytes kept per stream, 0 for all; a child that prints more is stopped.
    size_t m_outputLimit = 0;
    // Seconds a captured child may run, 0 for no limit.
    int m_timeLimitSeconds = 0;
    // Captured output goes to the log as it arrives and is not kept in the strings (the
    // application's run); otherwise it is kept and logged afterwards (a verification's).
    bool m_streamOutputToLog = false;
    // How the last execute's child ended.
    ChildOutcome m_outcome = CHILD_ENDED;
    bool m_displayConsole = false;
    bool m_autoSetWorkingDir = true;
    SString m_stdOut;
    SString m_errOut;
    const JVMFile* m_jvmFile = nullptr;
    bool m_extractArchives;
    // Standard output belongs to the application: the launcher prints nothing of its own.
    bool m_quiet = false;
    SString m_description;
    SString m_archive;
    // CLASS_DATA: the application runs with a class-data archive in the user's cache.
    bool m_classData = false;

private:
    const JVMFile& currentJVM() const;
    SString classpathValue(const JVMFile& jvm, const StringDeque& args) const;

    // Set while CP expands ARCHIVE, whose own CP call would recurse without end.
    mutable bool m_expandingArchive = false;
    // Paths and environment values of the resolution running, kept out of the macro passes.
    mutable ShellLiterals m_literals;
};

// The error for a CP call inside ARCHIVE (the archive is part of the class path CP builds).
extern const char* const kClasspathInArchiveError;

// Whether `name` is one of the launch script's functions.
bool isLaunchScriptFunction(const SString& name);
// The error text for calling function `name` with `count` arguments, or null when the
// count fits or the name is no function.
const char* functionArgumentCountError(const SString& name, long count);
