#pragma once
// A bundled Java runtime: the runtime directory (a JDK, or an image made with jlink) as a
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

// The value of `key` in a release file's text (KEY="value" lines); empty when absent.
SString releaseValue(const SString& releaseText, const SString& key);

// A ustar header for `name`; false when the name or the size does not fit the format.
bool tarHeader(const SString& name, char type, unsigned mode, unsigned long long size,
               long long mtime, char header[512]);
