// The Java command line: class path, system properties and Java arguments assembled from
// the descriptor, the runtime files beside the launcher and the embedded archives; and
// the run of the resolved command.

#include "base/TextLines.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/ClassPathArchives.h"
#include "inputfiles/RuntimeFiles.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launch/ClassDataArchive.h"
#include "launch/LaunchScript.h"
#include "launch/OutputToLog.h"
#include "platform/CappedStrings.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/SystemError.h"
#include "platform/shell/ShellWords.h"

const char* const kClasspathInArchiveError = "The CP function cannot be used in ARCHIVE.";

static SString descriptorTag(const JVMFile& jvm, const char* tag) {
    return jvm.getTagFile().getTagValue(tag, 0);
}

void LaunchScript::addToClasspath(const JVMFile& jvm, SString& classpath,
                                  const SString& entry) const {
    if (entry.empty()) return;
    if (!classpath.empty()) classpath += descriptorTag(jvm, "CLASSPATH_SEPARATOR");
    classpath += entry;
}

StringDeque LaunchScript::runtimeLines(const char* extension) const {
    return m_context && m_context->runtimeFiles ? m_context->runtimeFiles->lines(extension)
                                                : StringDeque();
}

SString LaunchScript::buildRuntimeClasspath(const JVMFile& jvm, const char* extension) const {
    SString classpath;
    for (const SString& entry : runtimeLines(extension)) addToClasspath(jvm, classpath, entry);
    return classpath;
}

SString LaunchScript::buildJVMClasspath(const JVMFile& jvm) const {
    return descriptorTag(jvm, "JVM_CLASSPATH");
}

SString LaunchScript::buildJARClasspath(const JVMFile& jvm) const {
    SString classpath;
    if (!m_extractArchives || !m_context || !m_context->classPathArchives) return classpath;
    for (const SString& path : m_context->classPathArchives->paths()) {
        addToClasspath(jvm, classpath, m_literals.mark(path, ShellLiterals::Word));
    }
    return classpath;
}

SString LaunchScript::makeSystemProp(const JVMFile& jvm, const SString& name,
                                     const SString& value) const {
    return descriptorTag(jvm, "SYSTEM") + name + descriptorTag(jvm, "SYSTEM_SEPARATOR") +
           jvm.resolve(value);
}

SString LaunchScript::buildRuntimeSystemProps(const JVMFile& jvm) const {
    SString props;
    for (const SString& line : runtimeLines(".sp")) {
        size_t eq = line.find('=');
        if (eq == SString::npos) continue;
        if (!props.empty()) props += ' ';
        props += makeSystemProp(jvm, line.substr(0, eq), line.substr(eq + 1));
    }
    return props;
}

SString LaunchScript::buildRuntimeJavaArgs(const JVMFile& jvm) const {
    SString javaArgs;
    for (const SString& line : runtimeLines(".ja")) {
        SString resolved = jvm.resolve(line);
        if (resolved.empty()) continue;
        if (!javaArgs.empty()) javaArgs += ' ';
        javaArgs += resolved;
    }
    return javaArgs;
}

// Value of %CP%(...): the class-path option, or nothing when the class path is exported
// through an environment variable instead.
SString LaunchScript::classpathValue(const JVMFile& jvm, const StringDeque& args) const {
    const bool environmentMode = descriptorTag(jvm, "USE_CP_ENV_VAR") == "1";
    // The system jars are checked before anything is extracted for a run that cannot start.
    const SString references = buildReferencedClasspath(jvm);
    SString classpath;
    addToClasspath(jvm, classpath, buildRuntimeClasspath(jvm, ".cp1"));
    addToClasspath(jvm, classpath, buildJVMClasspath(jvm));
    addToClasspath(jvm, classpath, buildRuntimeClasspath(jvm, ".cp"));
    for (SString arg : args) {
        if (environmentMode) stripQuotes(arg);
        addToClasspath(jvm, classpath, arg);
    }
    if (m_expandingArchive) throwException(m_archive, kClasspathInArchiveError);
    m_expandingArchive = true;
    SString archive;
    try {
        archive = MacroHandler::resolve(m_archive, '%');
    } catch (...) {
        m_expandingArchive = false;
        throw;
    }
    m_expandingArchive = false;
    if (environmentMode) stripQuotes(archive);
    addToClasspath(jvm, classpath, archive);
    addToClasspath(jvm, classpath, buildJARClasspath(jvm));
    addToClasspath(jvm, classpath, references);
    addToClasspath(jvm, classpath, buildRuntimeClasspath(jvm, ".cp2"));

    if (!environmentMode) {
        return classpath.empty() ? SString() : descriptorTag(jvm, "CLASSPATH") + classpath;
    }
    SString variable = descriptorTag(jvm, "CP_ENV_VAR");
    if (variable.empty()) {
        logMessage(
            "If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file should also define "
            "CP_ENV_VAR.",
            LOG_ERROR);
    } else {
        // No shell reads the variable: its paths go in as their bytes.
        const SString value = m_literals.plain(classpath);
        PlatformImpl::setEnvironmentVariable(variable, value);
        logMessage("Set env var " + variable + " to " + value + "\n", LOG_INFO);
    }
    return SString();
}

// Whether the run's temporary files are needed by the command or the class path it
// exports: then the launcher must outlive the application to remove them.
static bool needsTemporaryFiles(const JVMFile& jvm, const SString& command) {
    if (PlatformImpl::mentionsTemporaryEntry(command)) return true;
    const SString variable = descriptorTag(jvm, "CP_ENV_VAR");
    return descriptorTag(jvm, "USE_CP_ENV_VAR") == "1" && !variable.empty() &&
           PlatformImpl::mentionsTemporaryEntry(PlatformImpl::getEnvironmentVariable(variable));
}

int LaunchScript::execute(const JVMFile& jvm, const StringDeque* passThroughArgs, bool showConsole,
                          bool mayHandOver) {
    ClassDataArchive classData;
    SString command = resolve(jvm);
    const bool console = m_displayConsole || showConsole;
    const bool capture = console ? false : m_captureOutput;
    // Nothing left for the launcher after the application: its process becomes the JVM's.
    bool handOver =
        mayHandOver && !capture && m_timeLimitSeconds == 0 && !needsTemporaryFiles(jvm, command);
    if (m_classData) {
        command = classData.apply(descriptorTag(jvm, "JVM_HOME"), descriptorTag(jvm, "JVM_EXE"),
                                  command, handOver);
        handOver = handOver && classData.allowsHandOver();
    }
    SString workingDir;
    if (m_autoSetWorkingDir && m_context) workingDir = m_context->launcherDirectory();
    if (passThroughArgs) {
        // Each argument is one double-quoted shell word that keeps its bytes.
        for (const SString& arg : *passThroughArgs) {
            command += " \"" + escapeForShellQuotes(arg) + "\"";
        }
    }
    logMessage("Executing launch script command: " + command +
                   (m_autoSetWorkingDir ? " in working directory " + workingDir
                                        : SString(" in current working directory")),
               LOG_INFO);
    PlatformImpl::setEnvironmentVariable("JAVA_HOME", descriptorTag(jvm, "JVM_HOME"));
    classData.startJob();
    if (handOver) {
        logMessage("The launcher hands its process over to the application.", LOG_INFO);
        // The clean-up of the end of the run, now: the cache's upkeep, then (in handOver)
        // the temporary files.
        UserCache::upkeep();
        const int error = PlatformImpl::handOver(command, workingDir, classData.inheritedFds());
        PlatformImpl::checkInterrupted();
        logMessage(systemErrorText("The process could not be handed over (", error) +
                       "); the application runs as a child.",
                   LOG_WARNING);
    }
    CappedStrings capped(m_stdOut, m_errOut, m_outputLimit);
    const bool streaming = capture && m_streamOutputToLog;
    OutputToLog streamed(streaming);
    ChildLimits limits;
    if (streaming) {
        limits.sink = &streamed;
    } else if (m_outputLimit > 0) {
        limits.sink = &capped;
    }
    limits.timeLimitSeconds = m_timeLimitSeconds;
    limits.inheritedFds = classData.inheritedFds();
    const int status = PlatformImpl::executeProcess(command, workingDir, console, capture,
                                                    &m_stdOut, &m_errOut, limits, &m_outcome);
    classData.finish(status);
    if (streaming) {
        streamed.finish();
    } else if (capture) {
        logMessage("Output from the launch script execution", LOG_INFO);
        logMessage("StdOut:", LOG_INFO);
        logMessage(m_stdOut, LOG_INFO);
        logMessage("ErrOut:", LOG_INFO);
        logMessage(m_errOut, LOG_INFO);
    }
    return status;
}
