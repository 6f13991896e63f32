#include "jvm/JVMFile.h"

#include <cstring>
#include <memory>

#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/TextLines.h"
#include "inputfiles/ClassPathArchives.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/JVMRecord.h"
#include "jvm/JavaVersion.h"
#include "jvm/PathHints.h"
#include "jvm/VerifiedJVMs.h"
#include "jvm/VerifierCommand.h"
#include "platform/CappedStrings.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/TrustedPath.h"
#include "platform/shell/ShellLiterals.h"

SString JVMFile::resolve(const SString& text) const {
    return MacroHandler::resolve(text, '@');
}

void JVMFile::processMacro(SString& text, char, size_t start, size_t& end) const {
    SString name = text.substr(start + 1, end - start - 1);
    SString value = m_descriptor.getTagValue(name.c_str(), 0);
    if (name == "JVM_HOME" && !value.empty() && value.back() == '\\') value.pop_back();
    if (m_literals && (name == "JVM_HOME" || name == "JVM_FILE")) {
        value = m_literals->mark(value, ShellLiterals::Word);
    }
    text.replace(start, end - start + 1, value);
    end = start + value.size();
}

SString JVMFile::getDescription() const {
    return m_descriptor.getTagValue("DESC", 0);
}

bool JVMFile::hasProperties() const {
    if (!m_descriptor.getTagValue("JVM_PROPERTIES", 0).empty()) return true;
    logMessage("Unable to verify " + m_descriptor.getFileName() +
                   " because the JVM_PROPERTIES tag was not specified.",
               LOG_WARNING);
    return false;
}

std::unique_ptr<JVMMatch> JVMFile::verify(const SString& verifyClassPath,
                                          const SString& verifyClassName) {
    if (!hasProperties()) return nullptr;
    return verify(m_descriptor.getTagValue("JVM_HOME", 0), verifyClassPath, verifyClassName);
}

std::unique_ptr<JVMMatch> JVMFile::verify(const SString& jvmHome, const SString& verifyClassPath,
                                          const SString& verifyClassName) {
    return verifyCandidate(jvmHome, verifyClassPath, verifyClassName, false);
}

std::unique_ptr<JVMMatch> JVMFile::verifyFound(const SString& jvmHome,
                                               const SString& verifyClassPath,
                                               const SString& verifyClassName) {
    return verifyCandidate(jvmHome, verifyClassPath, verifyClassName, true);
}

void JVMFile::refuse(const SString& home, const SString& reason) const {
    if (m_context && m_context->record) {
        m_context->record->refused(home, getDescription(), reason);
    } else {
        logMessage("Refused JVM at " + home + " for " + getDescription() + ": " + reason, LOG_INFO);
    }
}

std::unique_ptr<JVMMatch> JVMFile::verifyCandidate(const SString& jvmHome,
                                                   const SString& verifyClassPath,
                                                   const SString& verifyClassName, bool found) {
    const SString exe = m_descriptor.getTagValue("JVM_EXE", 0);
    if (exe.empty() || jvmHome.empty()) return nullptr;
    // A line break would end the home's line in the descriptor written for it, and the
    // result line that names it, with text of the directory's choosing.
    if (holdsLineBreak(jvmHome)) {
        logMessage("Cannot verify the JVM at " + showLineBreaks(jvmHome) +
                       " because its path holds a line break.",
                   LOG_WARNING);
        refuse(showLineBreaks(jvmHome), "its path holds a line break");
        return nullptr;
    }

    SubStatusWrapper restoreSubStatus;
    PlatformImpl::setUISubStatus(Verifying, getDescription());
    const SString exePath = joinPath(jvmHome, exe);
    logMessage("Verifying JVM at " + exePath + "\n   for JVM: " + getDescription(), LOG_INFO);
    if (!PlatformImpl::fileExists(exePath)) {
        logMessage(exePath + " does not exist", LOG_INFO);
        refuse(jvmHome, "no executable at " + exePath);
        PlatformImpl::advanceUIProgress(2);
        return nullptr;
    }
    // A JVM found rather than named could have been planted by anyone who can write on its
    // path; only one that no one but root and this user can change is run.
    if (found) {
        const SString untrusted = untrustedPathReason(exePath);
        if (!untrusted.empty()) {
            logMessage("Not running the JVM at " + exePath + ": " + untrusted + ".", LOG_WARNING);
            refuse(jvmHome, untrusted);
            return nullptr;
        }
    }
    SString reason;
    if (!performVerify(jvmHome, verifyClassPath, verifyClassName, &reason)) {
        refuse(jvmHome, reason);
        return nullptr;
    }
    logMessage("Found matching JVM at " + jvmHome, LOG_INFO);
    if (m_context && m_context->record) m_context->record->matched(jvmHome, getDescription());
    return std::make_unique<JVMMatch>(jvmHome, m_descriptor);
}

bool JVMFile::performVerify(const SString& jvmHome, const SString& verifyClassPath,
                            const SString& verifyClassName, SString* reason) const {
    StringPairPtrDeque expected;
    StringDeque names;
    if (const StringDeque* properties = m_descriptor.getValue("JVM_PROPERTIES")) {
        for (const SString& property : *properties) {
            size_t eq = property.find('=');
            if (eq == SString::npos) {
                logMessage("Invalid JVM_PROPERTIES setting (" + property + ") in JVM File " +
                               m_descriptor.getFileName(),
                           LOG_WARNING);
                continue;
            }
            SString name = property.substr(0, eq);
            SString value = property.substr(eq + 1);
            trim(name, " \t\n\r");
            trim(value, " \t\n\r");
            names.push_back(name);
            expected.push_back(std::make_unique<StringPair>(name, value));
        }
    }

    // A JVM already asked the same questions in this run answers from what it printed then.
    JVMRecord* record = m_context ? m_context->record : nullptr;
    const SString exePath = joinPath(jvmHome, m_descriptor.getTagValue("JVM_EXE", 0));
    const SString realExe = PlatformImpl::resolvePath(exePath);
    if (const SString* output =
            realExe.empty() || !record ? nullptr : record->output(realExe, names)) {
        logMessage("Using the earlier verification of " + realExe, LOG_INFO);
        return verifyJVMOutput(*output, expected, reason);
    }
    // The answers of an unchanged JVM are kept between runs when they depend on its files
    // alone.
    const bool cacheable =
        m_descriptor.getTagValue("VERIFY_CACHE", 0) != "0" && UserCache::available();
    const SString identity = cacheable ? jvmIdentityOfResolved(jvmHome, realExe) : SString();
    SString stdOut;
    if (!identity.empty() && VerifiedJVMs::lookup(identity, names, stdOut)) {
        logMessage("Verification of " + exePath + " taken from the cache.", LOG_INFO);
    } else {
        SString why;
        stdOut = runVerifier(jvmHome, verifyClassPath, verifyClassName, names, why);
        // A verification cut off at its time or output limit answers nothing.
        if (!why.empty()) {
            if (reason) *reason = why;
            PlatformImpl::advanceUIProgress(6);
            return false;
        }
        if (!identity.empty()) VerifiedJVMs::store(identity, names, stdOut);
    }
    if (!realExe.empty() && record) record->rememberOutput(realExe, names, stdOut);
    bool result = verifyJVMOutput(stdOut, expected, reason);
    PlatformImpl::advanceUIProgress(6);
    return result;
}

SString JVMFile::runVerifier(const SString& jvmHome, SString verifyClassPath,
                             SString verifyClassName, const StringDeque& names,
                             SString& why) const {
    why.clear();
    if (verifyClassPath.empty() && verifyClassName.empty() && m_context &&
        m_context->prepareVerifier) {
        m_context->prepareVerifier(verifyClassPath, verifyClassName);
    }
    const VerifierCommand command =
        buildVerifierCommand(*this, m_context ? m_context->bundle : nullptr, jvmHome,
                             verifyClassPath, verifyClassName, names);
    logMessage("Executing launch script command: " + command.shown + " in working directory " +
                   command.workingDir,
               LOG_INFO);
    SString stdOut, errOut;
    CappedStrings capped(stdOut, errOut, kVerifyOutputLimit);
    ChildLimits limits;
    limits.environment = command.environment;
    limits.sink = &capped;
    limits.timeLimitSeconds = kVerifyTimeLimitSeconds;
    // The archives the launch will use are extracted while the JVM answers.
    if (m_context && m_context->bundle) {
        const BundleContext* bundle = m_context->bundle;
        limits.whileRunning = [bundle] { prepareArchivesAhead(*bundle); };
    }
    ChildOutcome outcome = CHILD_ENDED;
    PlatformImpl::executeArguments(command.arguments, command.workingDir, true, &stdOut, &errOut,
                                   limits, &outcome);
    logMessage("Output from the launch script execution", LOG_INFO);
    logMessage("StdOut:", LOG_INFO);
    logMessage(stdOut, LOG_INFO);
    logMessage("ErrOut:", LOG_INFO);
    logMessage(errOut, LOG_INFO);
    if (outcome != CHILD_ENDED) {
        why = "its verification " +
              (outcome == CHILD_TIMED_OUT
                   ? "did not end within " + convertToString(kVerifyTimeLimitSeconds) + " seconds"
                   : SString("printed more than ") +
                         convertToString(static_cast<long>(kVerifyOutputLimit >> 20)) + " MiB");
        logMessage("The JVM at " + jvmHome + " is not used: " + why + ".", LOG_WARNING);
    }
    return stdOut;
}

bool JVMFile::verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected,
                              SString* reason) {
    size_t position = 0;
    SString line;
    bool found = false;
    while (position < output.size()) {
        line.clear();
        readLineFromString(output, position, line);
        if (line == kVerifyMagicLine) {
            found = true;
            break;
        }
    }
    if (!found) {
        logMessage("Invalid magic value: " + line + "\n", LOG_ERROR);
        if (reason) *reason = "the verifier's output has no magic line (it did not run)";
        return false;
    }
    for (long i = 0; i < expected.size() && position < output.size(); ++i) {
        line.clear();
        readLineFromString(output, position, line);
        const StringPair& property = *expected.at(i);
        if (!propertyValueMatches(line, property.m_value)) {
            const SString why = propertyRefusalReason(property.m_name, line, property.m_value);
            logMessage("JVM refused: " + why, LOG_INFO);
            if (reason) *reason = why;
            return false;
        }
    }
    return true;
}

std::unique_ptr<JVMMatch> JVMFile::verifyWithPathHints(const SString& verifyClassPath,
                                                       const SString& verifyClassName) {
    if (!hasProperties()) return nullptr;
    logMessage("Searching for " + getDescription() + " using path hints", LOG_INFO);
    StringDeque partitions;
    PlatformImpl::getJVMSearchPartitions(partitions);
    const StringDeque* hints = m_descriptor.getValue("PATH_HINT");
    if (!hints) return nullptr;
    const SString exe = m_descriptor.getTagValue("JVM_EXE", 0);
    // Without a run's record, the homes tried are remembered for this call alone.
    JVMRecord ownRecord;
    JVMRecord& record = m_context && m_context->record ? *m_context->record : ownRecord;
    for (const SString& hint : *hints) {
        const bool pattern = isPathPattern(hint);
        // A JAVA_HOME the search cannot use is worth telling the user about (JVMFiles does).
        const bool javaHome = hint.compare(0, strlen(kJavaHomeHint), kJavaHomeHint) == 0;
        for (const SString& candidate : expandPathHint(hint, partitions)) {
            // A hint for a directory that is not there costs nothing and shows nothing.
            if (!PlatformImpl::isDirectoryPath(candidate)) {
                logMessage(
                    "Skipping path hint " + showLineBreaks(candidate) + ": no such directory",
                    LOG_INFO);
                if (javaHome) record.javaHomeRefused(candidate, "there is no such directory");
                continue;
            }
            // A pattern matches every directory there; only those holding a JVM are candidates.
            if (pattern && !PlatformImpl::fileExists(joinPath(candidate, exe))) {
                logMessage("Skipping path hint " + showLineBreaks(candidate) + ": no " + exe,
                           LOG_INFO);
                continue;
            }
            // Links and several hints often reach one home: it is tried once.
            const SString real = PlatformImpl::resolvePath(candidate);
            if (!real.empty() && !record.firstReach(real, m_descriptor)) {
                logMessage("Skipping path hint " + showLineBreaks(candidate) +
                               ": already tried as " + showLineBreaks(real),
                           LOG_INFO);
                continue;
            }
            logMessage("Checking path hint " + showLineBreaks(candidate), LOG_INFO);
            if (auto match = verifyFound(candidate, verifyClassPath, verifyClassName)) {
                return match;
            }
            if (javaHome) {
                SString reason = record.lastReason(candidate);
                if (reason.empty())
                    reason = "it holds no JVM that " + getDescription() + " accepts";
                record.javaHomeRefused(candidate, reason);
            }
        }
    }
    return nullptr;
}

std::unique_ptr<JVMMatch> JVMFile::verifyWithPlatformHints(const SString& verifyClassPath,
                                                           const SString& verifyClassName) {
    if (!hasProperties()) return nullptr;
    logMessage("Searching for " + getDescription() + " using platform hints", LOG_INFO);
    const StringDeque* hints = m_descriptor.getValue("PLATFORM_HINT");
    if (!hints) return nullptr;
    for (const SString& hint : *hints) {
        if (hint.empty()) continue;
        SString home = PlatformImpl::getPlatformHint(hint);
        if (home.empty()) continue;
        logMessage("Checking JVM at " + home + " which was resolved from platform hint " + hint,
                   LOG_INFO);
        if (auto match = verifyFound(home, verifyClassPath, verifyClassName)) return match;
    }
    return nullptr;
}
