#pragma once
// A nameless temporary file that holds bytes until they are read back: output that must
// wait its turn is kept on disk rather than in memory, and nothing is left behind
// however the process ends.

#include <cstddef>
#include <functional>

#include "base/SString.h"
#include "base/UniqueFd.h"

class SpoolFile {
public:
    SpoolFile() = default;
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;

    // Adds bytes at the end, creating the file in the temporary directory on first use;
    // false when the file cannot be created or written (what was written stays).
    bool write(const char* data, size_t size);
    // Hands everything written, in order, to `consumer` in pieces.
    void readBack(const std::function<void(const char*, size_t)>& consumer) const;

private:
    UniqueFd m_fd;
    bool m_failed = false;
};
