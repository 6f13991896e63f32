// The application archive, extracted from the launcher or copied from beside it, once
// per run into a temporary directory.

#include <cerrno>
#include <vector>

#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TextUtils.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"
#include "platform/PlatformImpl.h"
#include "platform/StdioFile.h"

const SString& Launcher::getApplicationArchive() {
    if (m_applicationArchive.empty()) {
        SString directory = PlatformImpl::createTempSubDirectory();
        for (long i = 0; i < m_inputFiles.getFileCount(); ++i) {
            const FileIndexEntry* entry = m_inputFiles.getFileAt(i);
            if (entry->m_type == FILE_TYPE_APPLICATION_ARCHIVE) {
                m_applicationArchive = entry->extract(directory);
            }
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
    SString target = PlatformImpl::createTempSubDirectory() + "/" +
                     (separator == SString::npos ? name : name.substr(separator + 1));

    int writeError = 0;
    {
        StdioFile in(source, "rb");
        StdioFile out(in ? fopen(target.c_str(), "wb") : nullptr);
        if (in && out) {
            std::vector<char> buffer(4096);
            size_t n;
            while ((n = fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
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
