#pragma once
// A bundled Java runtime: the runtime directory (a JDK, or an image made with jlink) as the
// uncompressed ustar archive that the launcher installs itself, with the runtime's
// descriptor as the file "jvm" at the archive's root.

#include <vector>

#include "base/SString.h"

// The JAVA_VERSION of the runtime at `runtimeDir` (a JDK, or an image made with jlink).
// Throws LauncherException when it has no bin/java or its release file names no version.
SString runtimeVersion(const SString& runtimeDir);

// The descriptor of a runtime of `version`: "Bundled Java VERSION", bin/java, and the
// exact java.version it reports.
SString runtimeDescriptor(const SString& version);

// Writes the runtime at `runtimeDir` to `path` as an uncompressed ustar archive, which the
// launcher installs itself, and returns its version (see runtimeVersion). The archive holds
// the tree in name order, directories and regular files only, with their permissions,
// and at its root the file "jvm", the runtime's descriptor (runtimeDescriptor): links are
// followed, those that lead nowhere left out; owners and times are not recorded, so the
// same tree always gives the same bytes. Throws LauncherException when the tree cannot be
// read or archived (a link back to a directory above it, an entry "jvm" of its own) or
// `path` written; a partly written `path` is removed then, when it is a regular file.
SString writeRuntimeArchive(const SString& runtimeDir, const SString& path);

// Adds a problem for each reason the file `path`, given as a runtime archive, would not
// install: not a plain file, an archive the launcher refuses, no bin/java, no descriptor
// "jvm" at its root or one that does not parse or names no JVM_EXE.
void checkRuntimeArchive(const SString& path, std::vector<SString>& problems);

// The value of `key` in a release file's text (KEY="value" lines); empty when absent.
SString releaseValue(const SString& releaseText, const SString& key);

// A ustar header for `name`; false when the name or the size does not fit the format.
bool tarHeader(const SString& name, char type, unsigned mode, unsigned long long size,
               long long mtime, char header[512]);
