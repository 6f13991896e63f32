#pragma once
// The Java runtime a bundle carries, installed by the launcher itself. Its archive (ustar,
// directories and regular files only; see UstarReader) is unpacked once into the per-user
// cache, CACHE/runtimes/ID, and used from there by later runs; where no cache can take it,
// into a private directory of the run. Every entry is made relative to a directory held by
// its descriptor, exclusively and never through a link. The copy in the cache is filled
// under a private name and renamed into place, so that no run sees half a runtime, and a
// run that uses it holds it, so that the cache's upkeep leaves it alone meanwhile.

#include "base/SString.h"

class HeldDirectory;

// The moment between filling the private directory in the cache and renaming it into
// place. Tests replace it to stand in for someone who swaps the directory then; the
// product's does nothing.
class RuntimeInstallSteps {
public:
    virtual ~RuntimeInstallSteps() = default;
    // `privatePath` is the directory's path as it was made.
    virtual void beforeRename(const SString& privatePath);
};

class EmbeddedRuntime {
public:
    // The archive is `length` bytes at `offset` of the open bundle `bundleFd` (which stays
    // the caller's); `id`, the digest of those bytes, names its copy in the cache. Throws
    // LauncherException when `id` cannot be the name of a cache entry.
    EmbeddedRuntime(int bundleFd, long long offset, long long length, const SString& id,
                    RuntimeInstallSteps* steps = nullptr);

    // Installs into the cache only an archive whose bytes have the SHA-256 `digest` (32
    // bytes, as the bundle records it): a copy there is found by its name, so what goes in
    // under that name must be what the name says (a copy for one run serves that run alone
    // and is not checked). Empty: no check.
    void expectDigest(const SString& digest) { m_digest = digest; }

    // The home of the copy in the cache when there is one: held for the run and marked as
    // used. Empty when the cache is off or unsafe, holds none, or holds an unusable one
    // (logged).
    SString findInCache() const;
    // The home of the copy in the cache, installed there first when missing (another run's
    // copy is taken when it wins the race); held and marked as used. Empty when the cache
    // is off, unsafe or cannot take the runtime (logged); nothing of a failed install stays
    // in it. Throws LauncherException when the archive is refused or does not have the
    // digest expected.
    SString installInCache() const;
    // Installs the runtime into `privateDirectory`, a directory made by
    // createTempSubDirectory, which becomes its home, and returns it. Throws
    // LauncherException when the archive is refused or cannot be written; the directory is
    // emptied then.
    SString installInto(const SString& privateDirectory) const;
    // Installs the runtime into `destination`, a new or empty directory the user named (see
    // prepareInstallDestination), which becomes its home, and returns it. Throws
    // LauncherException when it cannot be opened, the archive is refused or cannot be
    // written, or the home may not run (the trust rule of found JVMs); the directory is
    // emptied then.
    SString installAt(const SString& destination) const;

private:
    // Unpacks the archive into `home`, found at `path`, and checks that it may run; empties
    // `home` and throws LauncherException when either fails.
    void installIn(const HeldDirectory& home, const SString& path) const;
    // Throws LauncherException when a digest is expected and the archive's bytes do not
    // have it, or cannot be read.
    void checkDigest() const;

    int m_bundleFd;
    long long m_offset;
    long long m_length;
    SString m_id;
    RuntimeInstallSteps* m_steps;
    SString m_digest;
};
