#pragma once
// What the packer tells from a stub's bytes: the architecture its ELF header names, and
// whether data was already appended to it (a bundle, not a stub).

#include "base/SString.h"

// An architecture a stub is built for: the name --arch takes, other names for it, and the
// machine number in an ELF header.
struct Architecture {
    const char* name;
    const char* aliases[2];
    unsigned elfMachine;
};

// The architecture called `name` (or one of its aliases); null when there is none.
const Architecture* findArchitecture(const SString& name);
// The architecture of an ELF header's machine number; null for another or none.
const Architecture* architectureOfMachine(unsigned elfMachine);
// The architecture qnpack itself was built for, whose stub sits beside it ("" if other).
const char* ownArchitecture();

// The ELF machine number of the program at `path`; 0 when it is no ELF file.
unsigned elfMachine(const SString& path);
// Whether the file at `path` ends with the bundle trailer's magic bytes; false when it
// cannot be read.
bool hasAppendedData(const SString& path);
