#include "inputfiles/RuntimeFiles.h"

#include "base/LauncherContext.h"
#include "base/StdioFile.h"
#include "inputfiles/LineReading.h"
#include "platform/PlatformImpl.h"

SString runtimeFileName(const char* extension) {
    SString name = LauncherContext::originalLauncherFileName();
    size_t separator = name.find_last_of("/\\");
    size_t dot = name.rfind('.');
    if (separator != SString::npos && dot != SString::npos && dot > separator) name.erase(dot);
    return name + extension;
}

StringDeque readRuntimeFile(const char* extension) {
    StringDeque lines;
    const SString name = runtimeFileName(extension);
    StdioFile file = PlatformImpl::openInputFile(name);
    if (!file) return lines;
    long long bytesRead = 0;
    for (;;) {
        SString line;
        if (!readInputLine(file.get(), line, bytesRead, name)) break;
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}
