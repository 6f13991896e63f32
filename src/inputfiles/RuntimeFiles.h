#pragma once
// The runtime files beside a bundle: small text files of class-path entries (".cp1",
// ".cp", ".cp2"), system properties (".sp") and Java arguments (".ja") that an
// installation may put next to it, named after the launcher with its extension replaced.
// They are looked for beside the name the launcher was started by and beside its real file
// (links resolved), and read each time they are asked for. Being data from outside the
// bundle, a file is
// read only when it and every directory on its way pass the trust rule (owned by root or
// the user, writable by nobody else, sticky directories allowed) and it is a plain file;
// otherwise it is skipped with a warning in the log and on standard error, once a run.

#include <set>

#include "base/SString.h"
#include "base/StringDeque.h"

class RuntimeFiles {
public:
    // The runtime files of the launcher started as `launcherPath`; none for an empty path.
    explicit RuntimeFiles(const SString& launcherPath = SString());

    // The path of the runtime file with `extension` beside `launcherPath`: its name without
    // extension followed by `extension`.
    static SString pathFor(const SString& launcherPath, const char* extension);

    // The non-empty trimmed lines of the runtime files with `extension`: those beside the
    // name started by, then those beside the real file when that is another file. Throws
    // LauncherException for a file past the 64 MiB limit of text inputs.
    StringDeque lines(const char* extension) const;

private:
    // The lines of the one file `path`, when it is there and may be read.
    void readInto(const SString& path, StringDeque& lines) const;

    SString m_launcherPath;
    SString m_realPath;
    // The files already warned about.
    mutable std::set<SString> m_refused;
};
