#include "inputfiles/RuntimeFiles.h"

#include "base/Paths.h"
#include "base/StdioFile.h"
#include "inputfiles/LineReading.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/TrustedPath.h"

RuntimeFiles::RuntimeFiles(const SString& launcherPath) : m_launcherPath(launcherPath) {
    if (launcherPath.empty()) return;
    const SString real = PlatformImpl::resolvePath(launcherPath);
    if (!real.empty() && real != launcherPath) m_realPath = real;
}

SString RuntimeFiles::pathFor(const SString& launcherPath, const char* extension) {
    // The extension is the launcher name's own: a dot after the last separator.
    SString name = launcherPath;
    const size_t separator = name.find_last_of("/\\");
    const size_t dot = name.rfind('.');
    if (separator != SString::npos && dot != SString::npos && dot > separator) name.erase(dot);
    return name + extension;
}

StringDeque RuntimeFiles::lines(const char* extension) const {
    StringDeque lines;
    if (m_launcherPath.empty()) return lines;
    const SString started = pathFor(m_launcherPath, extension);
    readInto(started, lines);
    if (!m_realPath.empty()) {
        const SString beside = pathFor(m_realPath, extension);
        if (beside != started && !PlatformImpl::sameFile(beside, started)) {
            readInto(beside, lines);
        }
    }
    return lines;
}

void RuntimeFiles::readInto(const SString& path, StringDeque& lines) const {
    if (!PlatformImpl::entryExists(path)) return;
    const SString untrusted = untrustedPathReason(path);
    SString problem;
    StdioFile file;
    if (!untrusted.empty()) {
        problem = untrusted;
    } else {
        file = PlatformImpl::openPlainFile(path, problem);
    }
    if (!file) {
        if (!m_refused.insert(path).second) return;
        const SString warning =
            "The runtime file " + showLineBreaks(path) + " is not read: " + problem + ".";
        logMessage(warning, LOG_WARNING);
        PlatformImpl::showErrorLine(warning);
        return;
    }
    long long bytesRead = 0;
    for (;;) {
        SString line;
        if (!readInputLine(file.get(), line, bytesRead, path)) break;
        if (!line.empty()) lines.push_back(line);
    }
}
