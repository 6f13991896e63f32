#include "inputfiles/RuntimeFiles.h"

#include "base/LauncherContext.h"
#include "base/StdioFile.h"
#include "base/TextLines.h"
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
    StdioFile file = PlatformImpl::openFile(runtimeFileName(extension), "r");
    if (!file) return lines;
    for (;;) {
        SString line;
        if (!readLineFromStream(file.get(), line)) break;
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}
