#pragma once
// One JVM descriptor: expands its @TAG@ macros for launch scripts and verifies candidate
// homes by running their JVM on the verifier class.

#include <functional>
#include <memory>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"
#include "inputfiles/MacroHandler.h"

class TagFile;
class JVMMatch;
class JVMRecord;
class ShellLiterals;
struct BundleContext;

// A property name and the value a JVM must report for it.
class StringPair {
public:
    StringPair(const SString& name, const SString& value) : m_name(name), m_value(value) {}
    SString m_name;
    SString m_value;
};

using StringPairPtrDeque = PtrDeque<StringPair>;

// What the verifications of one run share, owned by the run's descriptor set (or by the
// action that verifies one descriptor): the record of what the run learned about JVMs, the
// bundle the verifier's command draws on, and how to get the verifier class.
struct VerificationContext {
    // Called for an empty verifier class path and name when the verifier is about to run,
    // to provide them (the embedded verifier is extracted only when a run needs it).
    using VerifierPreparation = std::function<void(SString& classPath, SString& className)>;

    JVMRecord* record = nullptr;
    const BundleContext* bundle = nullptr;
    VerifierPreparation prepareVerifier;
};

class JVMFile : public MacroHandler {
public:
    // Refers to `descriptor`, which must outlive this object.
    explicit JVMFile(TagFile& descriptor) : m_descriptor(descriptor) {}
    // For descriptors that are only expanded, never verified.
    explicit JVMFile(const TagFile& descriptor) : m_descriptor(const_cast<TagFile&>(descriptor)) {}

    // `text` with every descriptor macro expanded; "@@" becomes "@". While `literals` is set,
    // JVM_HOME and JVM_FILE (paths found or written at run time) go in as its markers.
    SString resolve(const SString& text) const;
    void setLiterals(ShellLiterals* literals) const { m_literals = literals; }
    void processMacro(SString& text, char delimiter, size_t start, size_t& end) const override;

    // Uses `context` (which must outlive its use; null: no record, no bundle) for the
    // verifications that follow.
    void setVerificationContext(const VerificationContext* context) { m_context = context; }

    // Verifies the descriptor's own JVM_HOME; null without JVM_PROPERTIES or on no match.
    // No verification changes the descriptor or the environment: the caller applies a match.
    std::unique_ptr<JVMMatch> verify(const SString& verifyClassPath,
                                     const SString& verifyClassName);
    // Verifies one candidate home named by the user or a caller; the match, or null. A home
    // holding a line break is refused.
    std::unique_ptr<JVMMatch> verify(const SString& jvmHome, const SString& verifyClassPath,
                                     const SString& verifyClassName);
    // Verifies a candidate home that a hint or the disk scan found: as verify, but its JVM
    // runs only when nobody but root and the running user can have put it there (logged).
    std::unique_ptr<JVMMatch> verifyFound(const SString& jvmHome, const SString& verifyClassPath,
                                          const SString& verifyClassName);
    std::unique_ptr<JVMMatch> verifyWithPathHints(const SString& verifyClassPath,
                                                  const SString& verifyClassName);
    std::unique_ptr<JVMMatch> verifyWithPlatformHints(const SString& verifyClassPath,
                                                      const SString& verifyClassName);
    // Checks the JVM in `jvmHome`: answers the run learned already, or answers stored in the
    // user's cache for an unchanged JVM, stand for the verifier's output when every property
    // asked depends on the JVM's files alone and the descriptor does not say VERIFY_CACHE: 0;
    // otherwise the verifier runs, without a shell, with JAVA_HOME set in its own
    // environment only. `reason` (may be null) gets why a candidate was refused. Process
    // errors pass as LauncherException.
    bool performVerify(const SString& jvmHome, const SString& verifyClassPath,
                       const SString& verifyClassName, SString* reason = nullptr) const;
    // Whether the verifier's output holds the magic line and then the expected values;
    // `reason` (may be null) gets why not.
    static bool verifyJVMOutput(const SString& output, const StringPairPtrDeque& expected,
                                SString* reason = nullptr);

    TagFile& getTagFile() const { return m_descriptor; }
    SString getDescription() const;

private:
    // Logs the warning and returns false when the descriptor has no JVM_PROPERTIES.
    bool hasProperties() const;
    std::unique_ptr<JVMMatch> verifyCandidate(const SString& jvmHome,
                                              const SString& verifyClassPath,
                                              const SString& verifyClassName, bool found);
    // Records a refused candidate when there is a record.
    void refuse(const SString& home, const SString& reason) const;

    // Runs the verifier and returns its standard output; `why` gets why the run was cut off
    // (its time or output limit), empty when it ended by itself.
    SString runVerifier(const SString& jvmHome, SString verifyClassPath, SString verifyClassName,
                        const StringDeque& names, SString& why) const;

    TagFile& m_descriptor;
    mutable ShellLiterals* m_literals = nullptr;
    const VerificationContext* m_context = nullptr;
};

using JVMFilePtrDeque = PtrDeque<JVMFile>;

// The magic line the verifier prints before the property values.
constexpr const char* kVerifyMagicLine = "1739021872";
// A verification that runs longer is ended (its process group killed) and the JVM refused.
constexpr int kVerifyTimeLimitSeconds = 60;
// Bytes of each output stream a verification may print; past them the JVM is refused.
constexpr size_t kVerifyOutputLimit = 1 << 20;
