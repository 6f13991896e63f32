#include "launch/ClasspathReferences.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launch/LaunchScript.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/SystemError.h"
#include "platform/os/TrustedPath.h"
#include "platform/shell/ShellLiterals.h"

SString referencedJarProblem(const SString& path, const SString& separator) {
    const SString needs = "the application needs " + showLineBreaks(path) + ", which ";
    if (path.empty() || path[0] != '/') return needs + "is not named by an absolute path";
    // The JVM would read such a path as two entries of the class path.
    if (!separator.empty() && path.find(separator) != SString::npos) {
        return needs + "holds the class-path separator " + separator;
    }
    FileFacts facts;
    if (!fileFacts(path, true, facts)) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            return needs + "is missing; install the package that holds it";
        }
        return systemErrorText(needs + "cannot be examined: ", error);
    }
    if (!facts.isRegular) return needs + "is not a plain file";
    const SString untrusted = untrustedPathReason(path);
    if (!untrusted.empty()) return needs + "is not used: " + untrusted;
    if (!PlatformImpl::isReadable(path)) {
        return systemErrorText(needs + "cannot be read: ", errno);
    }
    return SString();
}

SString LaunchScript::buildReferencedClasspath(const JVMFile& jvm) const {
    const SString separator = jvm.getTagFile().getTagValue("CLASSPATH_SEPARATOR", 0);
    SString classpath;
    for (const SString& path : m_references) {
        const SString problem = referencedJarProblem(path, separator);
        if (!problem.empty()) throw LauncherException(problem);
        addToClasspath(jvm, classpath, m_literals.mark(path, ShellLiterals::Word));
    }
    return classpath;
}
