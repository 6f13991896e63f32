#pragma once
// A verified JVM: its home and the descriptor it matched.

#include "base/PtrDeque.h"
#include "base/SString.h"

class TagFile;

class JVMMatch {
public:
    JVMMatch(const SString& jvmHome, TagFile& descriptor)
        : m_jvmHome(jvmHome), m_descriptorFile(descriptor) {}
    virtual ~JVMMatch() = default;

    // Writes a copy of the descriptor, with JVM_HOME, JVM_FILE and JVM_TEMP (0) filled in,
    // to a new temporary file on the clean-up list and returns its path; the descriptor
    // itself stays as it is. Throws LauncherException "Error writing file = …" when the copy
    // cannot be written whole (the partial file goes with the run's clean-up).
    SString writeNewJVMFile() const;

    SString m_jvmHome;
    TagFile& m_descriptorFile;
};

using JVMMatchPtrDeque = PtrDeque<JVMMatch>;
