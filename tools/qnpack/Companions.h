#pragma once
// Where the packer finds the files it puts into every bundle: the launcher stub, the
// verifier archive and the shipped discovery descriptors. They are looked for relative to
// the running qnpack, so the same rules fit the build tree and an installed tree.

#include <vector>

#include "base/SString.h"

struct Companion {
    SString path;                   // empty when none of the places holds the file
    std::vector<SString> searched;  // the places tried, in order
};

// The directory of the running qnpack (from /proc/self/exe, else from argv[0]).
SString packerDirectory(const char* argv0);

// The stub: the build tree's stripped copy, else the qnlaunch beside qnpack; for another
// architecture `arch`, the same in the subdirectory ARCH, else an installed tree's
// lib/qnlaunch/ARCH/qnlaunch.
Companion findStub(const SString& packerDir, const SString& arch = SString());
// The verifier: share/qnlaunch/verify.jar of an installed tree, the build tree's
// java/verify.jar, or a verify.jar beside qnpack.
Companion findVerifier(const SString& packerDir);
// The shipped descriptor file `name` (e.g. "java-17+.jvm") of an installed tree.
Companion findDescriptor(const SString& packerDir, const SString& name);

// "OPTION: not found; looked at A, B" — the message for a companion that is missing.
SString missingCompanionMessage(const char* option, const char* what, const Companion& companion);
