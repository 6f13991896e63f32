#pragma once
// What the verifier printed for each JVM run in this launcher run, so that a home reached
// again (through another hint, a link or another descriptor) is not run twice. Entries are
// keyed by the executable's real path and the property names asked, in order.

#include <map>

#include "base/SString.h"
#include "base/StringDeque.h"

class VerifiedHomes {
public:
    // The output remembered for `realExe` asked for `names`, or null.
    static const SString* find(const SString& realExe, const StringDeque& names);
    static void remember(const SString& realExe, const StringDeque& names, const SString& output);
    // Forgets every entry (a new run).
    static void clear();

private:
    static SString key(const SString& realExe, const StringDeque& names);
    static std::map<SString, SString> m_outputs;
};
