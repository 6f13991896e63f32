#pragma once
// The launch script: a command template whose function (%NAME%(...)), descriptor (@TAG@)
// and environment (#NAME#) macros are resolved against one JVM descriptor, then run.

#include "base/SString.h"
#include "base/StringDeque.h"
#include "inputfiles/BundleContext.h"
#include "inputfiles/MacroHandler.h"
#include "platform/PlatformImpl.h"
#include "platform/shell/ShellLiterals.h"

class JVMFile;
class LaunchScript;
class TagFile;

// One launch-script function: its name, the argument counts it takes, the error for any
// other count, which arguments are data, and how its value is computed.
struct LaunchScriptFunction {
    using Evaluator = SString (LaunchScript::*)(const JVMFile& jvm, const StringDeque& args) const;

    const char* name;
    long minArgs;
    long maxArgs;            // -1: any number
    const char* countError;  // null: every count fits
    // Bit i set: argument i is data (a search text, a tag name, a file name) that is used as
    // written and never becomes part of the command; kAllArguments: every argument is.
    unsigned dataArguments;
    Evaluator evaluate;

    // The error text for `count` arguments, or null when the count fits.
    const char* countErrorFor(long count) const;
    bool isDataArgument(long index) const {
        return dataArguments == kAllArguments || (index < 32 && (dataArguments >> index) & 1u);
    }

    static constexpr unsigned kAllArguments = ~0u;
};

// The launch-script tag that ends the launcher's options at the application's first argument.
constexpr const char* kLauncherOptionsFirstTag = "LAUNCHER_OPTIONS_FIRST";

class LaunchScript : public MacroHandler {
public:
    // From a launch-script tag file (COMMAND, DISPLAY_CONSOLE, AUTO_SET_WORKING_DIR, QUIET,
    // DESC, ARCHIVE, CLASS_DATA, CLASSPATH_REFERENCES); embedded class-path archives are
    // added to the class path.
    LaunchScript(const TagFile& script, bool captureOutput);
    // From a bare command, as JVM verification builds one.
    LaunchScript(const SString& command, bool captureOutput, bool extractArchives);

    // The running launcher whose bundle, runtime files, application archive and paths the
    // functions draw on (null: none; they give empty values); must outlive the script's use.
    void setContext(const BundleContext* context) { m_context = context; }

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
    // Reads the call of the function macro at `start`..`end` of `text`: the function by its
    // name, then its arguments into `args`, with `pos` left behind the ")". Throws (as
    // throwException) on an unknown name, a malformed argument list or a wrong count.
    const LaunchScriptFunction& parseFunctionCall(const SString& text, size_t start, size_t end,
                                                  size_t& pos, StringDeque& args) const;

    // The function named `name`, or null when there is none.
    static const LaunchScriptFunction* findFunction(const SString& name);

    // Java command line pieces, computed against the descriptor being resolved.
    void addToClasspath(const JVMFile& jvm, SString& classpath, const SString& entry) const;
    SString buildRuntimeClasspath(const JVMFile& jvm, const char* extension) const;
    SString buildJVMClasspath(const JVMFile& jvm) const;
    SString buildJARClasspath(const JVMFile& jvm) const;
    // The referenced system jars, joined; throws LauncherException naming the first one that
    // cannot be used (see checkReferencedJar).
    SString buildReferencedClasspath(const JVMFile& jvm) const;
    SString makeSystemProp(const JVMFile& jvm, const SString& name, const SString& value) const;
    SString buildRuntimeSystemProps(const JVMFile& jvm) const;
    SString buildRuntimeJavaArgs(const JVMFile& jvm) const;

    // Resolves the command, appends the pass-through arguments (may be null), exports
    // JAVA_HOME and runs it as a child, waiting for it. Captured output of a launch-script
    // tag file is written to the log as it arrives; of a bare command it is kept, then logged.
    // Returns the child's raw wait status. With `mayHandOver` (the caller has nothing left
    // to do after the application) the launcher's process is handed over to the command
    // instead, after the run's clean-up, when nothing of the run needs it any more: no
    // captured output, no time limit, no temporary file the command uses, no class-data
    // archive whose first run is watched; execute then does not return.
    int execute(const JVMFile& jvm, const StringDeque* passThroughArgs, bool showConsole,
                bool mayHandOver = false);

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
    // CLASSPATH_REFERENCES: jars of the machine, by absolute path, that go on the class path
    // after the embedded archives; each is checked when the class path is built.
    StringDeque m_references;

private:
    const JVMFile& currentJVM() const;
    // The evaluators of the functions, one per row of kFunctions.
    SString replaceValue(const JVMFile& jvm, const StringDeque& args) const;
    SString runtimeSystemPropsValue(const JVMFile& jvm, const StringDeque& args) const;
    SString runtimeJavaArgsValue(const JVMFile& jvm, const StringDeque& args) const;
    SString systemPropValue(const JVMFile& jvm, const StringDeque& args) const;
    SString classpathValue(const JVMFile& jvm, const StringDeque& args) const;
    SString ifExistsValue(const JVMFile& jvm, const StringDeque& args) const;
    SString launcherFileValue(const JVMFile& jvm, const StringDeque& args) const;
    SString launcherDirValue(const JVMFile& jvm, const StringDeque& args) const;
    SString applicationArchiveValue(const JVMFile& jvm, const StringDeque& args) const;
    SString tempDirValue(const JVMFile& jvm, const StringDeque& args) const;
    SString envOptionsValue(const JVMFile& jvm, const StringDeque& args) const;

    static const LaunchScriptFunction kFunctions[];

    // The lines of the runtime files with `extension`; none without a context.
    StringDeque runtimeLines(const char* extension) const;

    const BundleContext* m_context = nullptr;
    // Set while CP expands ARCHIVE, whose own CP call would recurse without end.
    mutable bool m_expandingArchive = false;
    // Paths and environment values of the resolution running, kept out of the macro passes.
    mutable ShellLiterals m_literals;
};

// The error for a CP call inside ARCHIVE (the archive is part of the class path CP builds).
extern const char* const kClasspathInArchiveError;
