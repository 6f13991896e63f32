#pragma once
// The set of JVM descriptors and its searches: the user's Java home, each descriptor's
// hints, and, where a descriptor asks for it, a scan of every disk.

#include <memory>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "platform/FileNavigator.h"

#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"

// Candidate homes found by the disk scan for one descriptor, not yet verified.
class UnverifiedJVMMatch {
public:
    explicit UnverifiedJVMMatch(JVMFile& jvmFile) : m_jvmFile(&jvmFile) {}

    // Adds `jvmHome` unless an equal home is already there.
    void addJVMHome(const SString& jvmHome);
    // Whether this is the candidate list of that very descriptor object.
    bool equals(const JVMFile& jvmFile) const { return m_jvmFile == &jvmFile; }

    JVMFile* m_jvmFile;
    StringDeque m_jvmHomes;
};

class UnverifiedJVMMatchPtrDeque : public PtrDeque<UnverifiedJVMMatch> {
public:
    // Adds the home to the descriptor's entry when there is one; otherwise does nothing.
    void addMatch(const JVMFile& jvmFile, const SString& jvmHome);
};

class JVMFiles : public FileFindListener {
public:
    JVMFiles() = default;
    JVMFiles(const JVMFiles&) = delete;
    JVMFiles& operator=(const JVMFiles&) = delete;

    void addJVMFile(std::unique_ptr<JVMFile> jvmFile);
    void setVerifyClass(const SString& verifyClassPath, const SString& verifyClassName);
    // Extracts the embedded verifier archive once, unless a verifier class was given; the
    // descriptors call it when a verification is about to run.
    void writeVerifyJar();
    void writeVerifyJar(SString& verifyClassPath, SString& verifyClassName);
    // Before a search: extracts the verifier now unless the cache may answer for it.
    void prepareVerifier();

    // Finds one JVM and appends its match to `matches`.
    void search(JVMMatchPtrDeque& matches);
    // Scans the disks and appends every verified match.
    void searchAll(JVMMatchPtrDeque& matches, bool stopAtFirst);
    void exhaustiveSearch(JVMMatchPtrDeque& matches);
    // The second half of the disk search: verifies the candidates the scan collected, in
    // the order found, appending each match (only the first with stop-at-first).
    void verifyCandidates(JVMMatchPtrDeque& matches);
    bool foundFile(const SString& path) override;
    void addUnverifiedMatch(JVMFile* jvmFile, const SString& jvmHome);

    long getJVMFileCount() const { return m_jvmFileList.size(); }
    // Throws LauncherException ("Invalid JVM file id.") for an index out of range.
    const JVMFile* getJVMFile(long index) const;
    const UnverifiedJVMMatchPtrDeque& unverifiedMatches() const { return m_unverifiedMatches; }
    // Prepares a disk scan the way search and searchAll do; for driving the scan directly.
    void beginScan(bool stopAtFirst) {
        m_match.reset();
        m_stopAtFirst = stopAtFirst;
        m_unverifiedMatches.clear();
    }
    const JVMMatch* immediateMatch() const { return m_match.get(); }

    // Back to the state of a new object.
    void clear();

private:
    JVMFilePtrDeque m_jvmFileList;
    UnverifiedJVMMatchPtrDeque m_unverifiedMatches;
    // The match found during a scan with stop-at-first, before it joins the results.
    std::unique_ptr<JVMMatch> m_match;
    bool m_stopAtFirst = false;
    SString m_verifyClassPath;
    SString m_verifyClassName;
};
