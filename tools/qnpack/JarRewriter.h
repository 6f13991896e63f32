#pragma once
// Copies a jar without the Class-Path attribute of its manifest, so that the copy a bundle
// embeds reaches no file outside the bundle: every other entry keeps its bytes (headers
// and data copied as they are), the manifest is written anew without the attribute, and
// the central directory follows the new offsets. The copy depends on the jar's bytes
// alone, so packing stays reproducible.

#include <functional>

#include "base/SString.h"

class JarFile;

// `manifest` without the main section's Class-Path attribute (and its continuation
// lines); every other byte stays, line ends included.
SString manifestWithoutClassPath(const SString& manifest);

// Writes the copy of `jar` through `write`, which takes every byte in order and may throw.
// Throws LauncherException naming the jar when it cannot be copied (a damaged entry, an
// encrypted or zip64 one, a copy past 2 GiB); what was written before stays written.
void copyJarWithoutClassPath(const JarFile& jar,
                             const std::function<void(const char*, size_t)>& write);
// The same into a new file at `path`; the file is removed again on failure.
void writeJarWithoutClassPath(const JarFile& jar, const SString& path);
