#pragma once
// Answers of the verifier kept in the user's cache under the identity of the JVM that gave
// them, so that a JVM unchanged since an earlier run is not started again only to report
// the same facts. Only properties that depend on nothing but the JVM's own files are kept
// and answered; any other property is asked of the running JVM every time.

#include "base/SString.h"
#include "base/StringDeque.h"

// Whether the value of the system property `name` depends only on the JVM's files.
bool isFileDependentProperty(const SString& name);

class VerifiedJVMs {
public:
    // The verifier output the JVM of `identity` gave for `names`, built from the stored
    // answers: the magic line, then one value per line; false unless every name is a
    // file-dependent property with a stored answer.
    static bool lookup(const SString& identity, const StringDeque& names, SString& output);
    // Keeps the file-dependent answers of a complete verifier `output` for `names`, added
    // to those already stored for `identity`.
    static void store(const SString& identity, const StringDeque& names, const SString& output);
};
