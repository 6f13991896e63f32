#include "inputfiles/ApplicationArchive.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "base/UniqueFd.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/ExtractedArchives.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/RangeCopy.h"
#include "platform/os/SecureDir.h"
#include "platform/os/TrustedPath.h"

ApplicationArchive::ApplicationArchive(const Bundle* bundle, const SString& launcherPath)
    : m_bundle(bundle), m_launcherPath(launcherPath) {}

const SString& ApplicationArchive::embedded() {
    if (!m_path.empty() || !m_bundle) return m_path;
    const auto entries = m_bundle->index().entriesOfType(FILE_TYPE_APPLICATION_ARCHIVE);
    const ExtractedArchives cached(*m_bundle, entries);
    // Made by the first extraction that needs it, so a bundle without one makes none.
    SString directory;
    for (const FileIndexEntry* entry : entries) m_path = cached.extract(*entry, directory);
    return m_path;
}

SString ApplicationArchive::besideLauncher(const SString& name) {
    if (!m_path.empty()) return m_path;
    const SString source = joinPath(dirName(m_launcherPath), name);
    if (!PlatformImpl::entryExists(source)) return m_path;
    // An archive beside the launcher runs as the application: only one that nobody but
    // root and this user can have put there is taken.
    SString problem = untrustedPathReason(source);
    UniqueFd in = problem.empty() ? PlatformImpl::openPlainDescriptor(source, problem) : UniqueFd();
    if (!in) {
        logMessage("The archive " + showLineBreaks(source) + " is not used: " + problem + ".",
                   LOG_WARNING);
        return m_path;
    }
    const SString directory = PlatformImpl::createTempSubDirectory();
    const SString base = baseName(name);
    UniqueFd out = in ? createFileIn(directory, base) : UniqueFd();
    if (in && out) {
        // A read error ends the copy like the end of the file does.
        int writeError = copyRange(in.get(), out.get(), RangeCopy()).writeError;
        if (!out.close() && writeError == 0) writeError = errno;
        m_path = joinPath(directory, base);
        if (writeError != 0) throw LauncherException(PlatformImpl::writeErrorText(writeError));
    }
    return m_path;
}
