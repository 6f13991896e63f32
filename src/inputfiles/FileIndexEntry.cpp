#include "inputfiles/FileIndexEntry.h"

#include "base/LauncherException.h"
#include "platform/os/TrustedPath.h"

bool isSafeFileName(const SString& name) {
    // A NUL would cut the name short, a line break would end its line in the replaying
    // input file and in the log.
    return name.find_first_of(SString("/\n\r\0", 4)) == SString::npos && name != "." &&
           name != "..";
}

void FileIndexEntry::checkExtractable() const {
    if (!isSafeFileName(m_indexName) || m_name.empty()) {
        throw LauncherException("Invalid file name in file index: " + showLineBreaks(m_indexName));
    }
    if (m_offset < 0 || m_length < 0) {
        throw LauncherException("Invalid offset or length in file index for " + m_name + ".");
    }
}
