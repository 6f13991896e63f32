// The application archive, extracted from the launcher or copied from beside it, once
// per run into a temporary directory.

#include <cerrno>
#include <vector>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "inputfiles/ExtractedArchives.h"
#include "inputfiles/FileIndexEntry.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
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

    int writeError = 0;
    {
        StdioFile in = PlatformImpl::openInputFile(source);
        StdioFile out = in ? createFileStreamIn(directory, base) : StdioFile();
        if (in && out) {
            std::vector<char> buffer(4096);
            size_t n;
            while ((n = fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
                PlatformImpl::checkInterrupted();
                if (fwrite(buffer.data(), 1, n, out.get()) < n && writeError == 0) {
                    writeError = errno;
                }
            }
            // A read error ends the copy like the end of the file does.
            if (!out.close() && writeError == 0) writeError = errno;
            m_applicationArchive = target;
        }
    }
    if (writeError != 0) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE) +
                                convertToString(writeError) +
                                PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE));
    }
    return m_applicationArchive;
}
