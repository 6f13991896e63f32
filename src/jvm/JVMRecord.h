#pragma once
// What one run learned about JVMs: every candidate home a search reached, in order, with
// the reason it was refused, and what the verifier printed for each JVM it ran (or what the
// cache answered for it), so that a JVM reached again through another hint, a link or
// another descriptor is not run twice. The search reads it to try each home once, the
// failure report to list what was tried. One record belongs to the run's descriptor set.

#include <map>
#include <set>
#include <utility>
#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"

class JVMFiles;
class TagFile;

class JVMRecord {
public:
    struct Candidate {
        SString home;
        SString description;
        SString reason;  // empty for a home that matched
    };

    // A new search: the candidates reached so far are forgotten, the verifier's outputs and
    // the JAVA_HOME refusal kept.
    void beginSearch() {
        m_candidates.clear();
        m_reached.clear();
    }

    // Records a home refused for the descriptor `description` and logs it.
    void refused(const SString& home, const SString& description, const SString& reason);
    // Records a home that matched.
    void matched(const SString& home, const SString& description);
    const std::vector<Candidate>& candidates() const { return m_candidates; }
    // Notes that the home whose real path is `realHome` was reached for `descriptor` in
    // this search; false when it was reached for it before.
    bool firstReach(const SString& realHome, const TagFile& descriptor);

    // What the verifier printed when the JVM `realExe` was asked for `names` in this run,
    // or null.
    const SString* output(const SString& realExe, const StringDeque& names) const;
    void rememberOutput(const SString& realExe, const StringDeque& names, const SString& output);

    // Notes that the candidate `home` that JAVA_HOME named was refused for `reason`; the
    // first such refusal of the run is kept.
    void javaHomeRefused(const SString& home, const SString& reason);
    // The refusal to tell the user about once a run: false when there was none, when it was
    // told already, or when the search used that JVM after all (`matchedHome`, through
    // another descriptor). True marks it told.
    bool takeJavaHomeRefusal(const SString& matchedHome, SString& home, SString& reason);
    // The reason the last refusal of `home` in this search gave; empty when there was none.
    SString lastReason(const SString& home) const;

    // The failure report's lines: what the descriptors of `files` accept, the candidates
    // tried (at most `limit`, then "and N more"), and how to choose a JVM by hand.
    std::vector<SString> reportLines(const JVMFiles& files, size_t limit = 10) const;

private:
    static SString key(const SString& first, const StringDeque& rest);

    std::vector<Candidate> m_candidates;
    std::set<std::pair<SString, const TagFile*>> m_reached;
    std::map<SString, SString> m_outputs;
    // The JAVA_HOME candidate refused in this run, and whether the user was told.
    SString m_javaHome;
    SString m_javaHomeReal;  // with every link resolved; empty when it does not exist
    SString m_javaHomeReason;
    bool m_javaHomeTold = false;
};
