#pragma once
// A bundled Java runtime: the runtime directory (a JDK, or an image made with jlink) as an
// uncompressed ustar archive that the launcher installs itself; and, as packed so far, as a
// gzip-compressed tar archive behind a shell script. Run by INSTALL_JVM in its working
// directory, the script unpacks the runtime once into the per-user cache and links it
// into that directory, or, with no usable cache, unpacks it there for this run. It needs
// only sh, tail, gzip, tar, find and ln, which every Linux system has.

#include "base/SString.h"

struct BundledRuntime {
    SString version;     // JAVA_VERSION of the runtime's release file, e.g. "17.0.15"
    SString id;          // the cache directory's name: version and a checksum of the archive
    SString installer;   // the script's text without the archive
    SString descriptor;  // a descriptor that finds the runtime in the cache
};

// Writes the installer for the runtime at `runtimeDir` to `path`. Throws
// LauncherException when the directory is not a Java runtime or cannot be read.
BundledRuntime writeRuntimeInstaller(const SString& runtimeDir, const SString& path);

// The JAVA_VERSION of the runtime at `runtimeDir` (a JDK, or an image made with jlink).
// Throws LauncherException when it has no bin/java or its release file names no version.
SString runtimeVersion(const SString& runtimeDir);

// Writes the runtime at `runtimeDir` to `path` as an uncompressed ustar archive, which the
// launcher installs itself, and returns its version (see runtimeVersion). The archive holds
// the tree in name order, directories and regular files only, with their permissions:
// links are followed, those that lead nowhere left out; owners and times are not recorded,
// so the same tree always gives the same bytes. Throws LauncherException when the tree
// cannot be read or archived (a link back to a directory above it) or `path` written; a
// partly written `path` is removed then, when it is a regular file.
SString writeRuntimeArchive(const SString& runtimeDir, const SString& path);

// The value of `key` in a release file's text (KEY="value" lines); empty when absent.
SString releaseValue(const SString& releaseText, const SString& key);

// A ustar header for `name`; false when the name or the size does not fit the format.
bool tarHeader(const SString& name, char type, unsigned mode, unsigned long long size,
               long long mtime, char header[512]);
