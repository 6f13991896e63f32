#pragma once
// The runtime files beside the original launcher: small text files of class-path entries,
// system properties and Java arguments that an installation may put next to a bundle.

#include "base/SString.h"
#include "base/StringDeque.h"

// The path of a runtime file beside the original launcher: its name without extension
// followed by `extension` (".cp1", ".cp", ".cp2", ".sp", ".ja").
SString runtimeFileName(const char* extension);
// The non-empty trimmed lines of a runtime file; none when it does not exist.
StringDeque readRuntimeFile(const char* extension);
