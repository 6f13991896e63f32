// The application archive, extracted from the launcher or copied from beside it, once
// per run into a temporary directory.

#include <cerrno>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "inputfiles/ExtractedArchives.h"
#include "inputfiles/FileIndexEntry.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/RangeCopy.h"
#include "platform/SecureDir.h"

const SString& Launcher::getApplicationArchive() {
    if (m_applicationArchive.empty()) {
        const auto entries = m_inputFiles.entriesOfType(FILE_TYPE_APPLICATION_ARCHIVE);
        const ExtractedArchives cached(entries);
        SString directory = cached.available() ? SString() : PlatformImpl::createTempSubDirectory();
        for (const FileIndexEntry* entry : entries) {
            m_applicationArchive = cached.extract(*entry, directory);
        }
    }
    return m_applicationArchive;
}

SString Launcher::getApplicationArchive(const SString& name) {
    if (!m_applicationArchive.empty()) return m_applicationArchive;
    SString source = getOriginalLauncherDir();
    if (!source.empty() && source.back() != '/') source += '/';
    source += name;
    size_t separator = name.find_last_of("/\\");
    const SString directory = PlatformImpl::createTempSubDirectory();
    const SString base = separator == SString::npos ? name : name.substr(separator + 1);
    SString target = directory + "/" + base;

    UniqueFd in = PlatformImpl::openForReading(source);
    UniqueFd out = in ? createFileIn(directory, base) : UniqueFd();
    if (in && out) {
        // A read error ends the copy like the end of the file does.
        int writeError = copyRange(in.get(), out.get(), RangeCopy()).writeError;
        if (!out.close() && writeError == 0) writeError = errno;
        m_applicationArchive = target;
        if (writeError != 0) throw LauncherException(PlatformImpl::writeErrorText(writeError));
    }
    return m_applicationArchive;
}
