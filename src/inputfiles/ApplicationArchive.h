#pragma once
// The application archive of a run: the one the bundle embeds, extracted (into the cache,
// or a temporary directory of the run), or a named archive beside the launcher the user
// started, copied into a temporary directory of the run. Prepared once per run.

#include "base/SString.h"

class Bundle;

class ApplicationArchive {
public:
    // For the bundle `bundle` (null: none loaded; it must outlive the object) started as
    // `launcherPath`.
    ApplicationArchive(const Bundle* bundle, const SString& launcherPath);

    // The embedded archive's path, extracted on first use; empty when the bundle embeds
    // none. Throws LauncherException when it cannot be written ("Error writing file = …").
    const SString& embedded();
    // The run's archive when one was prepared already; else a copy of the archive `name`
    // (relative to the started launcher's directory), empty when that is missing or not a
    // plain file. Throws LauncherException when the copy cannot be written, with the
    // partial copy left for the run's clean-up.
    SString besideLauncher(const SString& name);

private:
    const Bundle* m_bundle;
    SString m_launcherPath;
    SString m_path;
};
