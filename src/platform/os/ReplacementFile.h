#pragma once
// A file written in the directory of `path` under no name at all (or, where the file
// system cannot make one, under a hidden temporary name) and put in the place of `path`
// whole by commit(): readers see the old file or the new one, never part of it, and a
// writer that fails or is killed leaves nothing behind (nothing at all with an unnamed
// file; the temporary name of the fallback when killed).

#include "base/SString.h"
#include "base/UniqueFd.h"

class ReplacementFile {
public:
    // Creates the file; valid() tells whether that worked (errno set when not).
    explicit ReplacementFile(const SString& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool valid() const { return static_cast<bool>(m_fd); }
    int fd() const { return m_fd.get(); }
    // Closes the file, gives it `mode` (less the umask) and puts it at the path, replacing
    // what is there. False with errno set when any step fails; the path keeps what it held
    // and the new file is gone.
    bool commit(unsigned mode);

private:
    SString m_path;
    SString m_temporaryName;  // the fallback's name, empty for an unnamed file
    UniqueFd m_fd;
};

// Whether `path` names something that is not a regular file (a device, a pipe, a
// directory): such an output is written to as it is, never replaced.
bool isSpecialOutput(const SString& path);
