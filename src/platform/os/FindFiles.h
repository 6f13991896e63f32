#pragma once
// Scans directory trees for files with given names and reports each find to a listener.

#include "platform/os/FileNavigator.h"

class FindFiles : public FileNavigator {
public:
    // Keeps references to `names` and `listener`; both must outlive the walk.
    FindFiles(const StringDeque& names, FileFindListener& listener);

    bool processFile(const SString& path) override;
    // Skips the launcher's own temporary directory and /var/tmp/.
    bool skipDirectory(const SString& dir) override;

private:
    const StringDeque& m_fileNames;
    FileFindListener& m_listener;
    SString m_skipTempDir;
};
