#pragma once
// The Java runtime a bundle carries as its entry of type runtime, made ready for
// INSTALL_JVM: installed by EmbeddedRuntime (into the cache, else a private directory of the
// run, or where the user asked) and handed on as a new descriptor of the run that names
// its home. The descriptor is the archive's own "jvm", read from the bundle, never from
// where the runtime was installed.

#include "base/SString.h"
#include "jvm/EmbeddedRuntime.h"

class Bundle;
class FileIndexEntry;
class TagFile;

// The name of the runtime's copy in the cache: the entry's SHA-256 as the bundle records
// it, in hexadecimal; for a bundle that records none, "bundle-" and the SHA-256 of the
// bundle file's identity (device, inode, size, modification and change times) and the
// entry's place in it, so that a changed bundle never finds an older copy. Throws
// LauncherException when the bundle file cannot be examined.
SString bundledRuntimeId(const Bundle& bundle, const FileIndexEntry& entry);

class BundledRuntime {
public:
    // `entry`, of type runtime, is read from `bundle`'s one open descriptor; both must
    // outlive this object. Throws what bundledRuntimeId and EmbeddedRuntime throw.
    BundledRuntime(const Bundle& bundle, const FileIndexEntry& entry,
                   RuntimeInstallSteps* steps = nullptr);

    // Installs the runtime for this run: its copy in the cache, installed there first when
    // missing and held for the run, or else a new private directory of the run.
    // Returns the path of a new temporary file of the run: the archive's descriptor with
    // JVM_HOME (the runtime's home), JVM_FILE (the file itself) and JVM_TEMP (1) filled in.
    // Throws LauncherException when the archive carries no readable descriptor, is refused
    // or cannot be installed anywhere; nothing of a failed install is left.
    SString install() const;
    // The same into `destination`, a new or empty directory the user named, where the
    // runtime stays.
    SString installAt(const SString& destination) const;

private:
    // The archive's descriptor, parsed; throws LauncherException when it is missing or
    // does not parse.
    void readDescriptor(TagFile& descriptor) const;
    // Writes `descriptor` for the runtime at `home` to a new temporary file; its path.
    static SString handOn(TagFile& descriptor, const SString& home);

    const Bundle& m_bundle;
    const FileIndexEntry& m_entry;
    EmbeddedRuntime m_runtime;
};
