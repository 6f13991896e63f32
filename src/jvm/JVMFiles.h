#pragma once
// The set of JVM descriptors and its searches: the user's Java home, each descriptor's
// hints, and, where a descriptor asks for it, a scan of every disk. The set owns the run's
// record of what it learned about JVMs.

#include <memory>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "jvm/JVMRecord.h"
#include "platform/os/FileNavigator.h"

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

using UnverifiedJVMMatchPtrDeque = PtrDeque<UnverifiedJVMMatch>;

// The walk over the disks that a search may ask for: it hands every file whose path ends
// with one of `names` to `listener` until the listener says stop. The product's walks
// every search partition; tests give one over a tree they made.
class DiskScanner {
public:
    virtual ~DiskScanner() = default;
    virtual void scan(const StringDeque& names, FileFindListener& listener) = 0;
};

class JVMFiles : private FileFindListener {
public:
    JVMFiles();
    JVMFiles(const JVMFiles&) = delete;
    JVMFiles& operator=(const JVMFiles&) = delete;

    void addJVMFile(std::unique_ptr<JVMFile> jvmFile);
    void setVerifyClass(const SString& verifyClassPath, const SString& verifyClassName);
    // The running launcher's bundle and files, which the verifier's command and the
    // embedded verifier come from (null: none); `context` must outlive the set.
    void setBundleContext(const BundleContext* context) { m_verification.bundle = context; }
    // The walk for disk scans (null: the real one over every partition); must outlive its use.
    void setDiskScanner(DiskScanner* scanner) { m_scanner = scanner; }
    // What verifications of this run share, for descriptors outside the set (VERIFY).
    const VerificationContext& verificationContext() const { return m_verification; }
    // Extracts the embedded verifier archive once, unless a verifier class was given, and
    // returns the class path and class name to use (empty when there is none).
    void writeVerifyJar(SString& verifyClassPath, SString& verifyClassName);
    // Before a search: extracts the verifier now unless the cache may answer for it.
    void prepareVerifier();

    // Finds one JVM, trying `userJavaHome` (when not empty) with every descriptor first,
    // and appends its match to `matches`. A JVM that JAVA_HOME named and the search refused
    // is told on standard error and in the log, with the reason, once a run.
    void search(JVMMatchPtrDeque& matches, const SString& userJavaHome = SString());
    // Scans the disks and appends every verified match (only the first with `stopAtFirst`).
    void searchAll(JVMMatchPtrDeque& matches, bool stopAtFirst);

    // What the run learned about JVMs.
    const JVMRecord& record() const { return m_record; }

    long getJVMFileCount() const { return m_jvmFileList.size(); }
    // Throws LauncherException ("Invalid JVM file id.") for an index out of range.
    const JVMFile* getJVMFile(long index) const;

    // Back to the state of a new object.
    void clear();

private:
    void exhaustiveSearch(JVMMatchPtrDeque& matches);
    // Tells the user about a refused JAVA_HOME unless the search matched `matchedHome`
    // (empty: nothing) is that JVM, or the run told it already.
    void reportRefusedJavaHome(const SString& matchedHome);
    // The second half of the disk search: verifies the candidates the scan collected, in
    // the order found, appending each match (only the first with stop-at-first).
    void verifyCandidates(JVMMatchPtrDeque& matches);
    bool foundFile(const SString& path) override;
    void addUnverifiedMatch(JVMFile* jvmFile, const SString& jvmHome);

    JVMFilePtrDeque m_jvmFileList;
    UnverifiedJVMMatchPtrDeque m_unverifiedMatches;
    // The match found during a scan with stop-at-first, before it joins the results.
    std::unique_ptr<JVMMatch> m_match;
    bool m_stopAtFirst = false;
    SString m_verifyClassPath;
    SString m_verifyClassName;
    JVMRecord m_record;
    VerificationContext m_verification;
    DiskScanner* m_scanner = nullptr;
};
