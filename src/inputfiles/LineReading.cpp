#include "inputfiles/LineReading.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "base/TextLines.h"
#include "platform/PlatformImpl.h"

bool readInputLine(FILE* stream, SString& line, long long& bytesRead, const SString& name) {
    bool readAny = false;
    for (;;) {
        int c = getc_unlocked(stream);
        if (c == EOF) {
            if (!ferror(stream)) break;
            // A signal broke off a read from a pipe or terminal: act on it, or read on.
            if (errno != EINTR) throw LauncherException("Unable to read tag file.");
            clearerr(stream);
            PlatformImpl::checkInterrupted();
            continue;
        }
        readAny = true;
        // Checked per byte: a slow pipe may take long to deliver the next line.
        PlatformImpl::checkInterrupted();
        if (++bytesRead > kMaxInputFileBytes) {
            throw LauncherException(name + " is larger than 64 MiB, the limit for tag files.");
        }
        if (c == '\n') break;
        if (c != '\r') line += static_cast<char>(c);
    }
    trim(line, whitespaceChars);
    return readAny;
}
