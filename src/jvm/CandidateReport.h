#pragma once
// What a JVM search tried, for the report a user gets when no JVM fits: each refused
// candidate home with the reason, in the order tried.

#include <vector>

#include "base/SString.h"

class JVMFiles;

class CandidateReport {
public:
    struct Candidate {
        SString home;
        SString description;
        SString reason;
    };

    // Forgets what earlier searches tried.
    static void clear();
    // Records a refused candidate and logs it.
    static void refused(const SString& home, const SString& description, const SString& reason);
    static const std::vector<Candidate>& candidates();

    // The report's lines: what the descriptors of `files` accept, the candidates tried (at
    // most `limit`, then "and N more"), and how to choose a JVM by hand.
    static std::vector<SString> lines(const JVMFiles& files, size_t limit = 10);
};
