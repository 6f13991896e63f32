#pragma once
// The class-path archives of a run: the jars the bundle embeds, extracted once (into the
// cache, or a temporary directory of the run) and used by every launch of the run. A
// verification that has to start a JVM extracts them meanwhile, so the two overlap.

#include <vector>

#include "base/SString.h"

class Bundle;
struct BundleContext;

class ClassPathArchives {
public:
    // For `bundle` (null: none loaded; it must outlive the object).
    explicit ClassPathArchives(const Bundle* bundle) : m_bundle(bundle) {}

    // The paths of the extracted archives in the bundle's order, extracted on first use.
    // Throws what extraction throws (LauncherException "Error writing file = …", a
    // TerminationRequest); what was extracted before stays for the run's clean-up.
    const std::vector<SString>& paths();

private:
    const Bundle* m_bundle;
    bool m_extracted = false;
    std::vector<SString> m_paths;
};

// Extracts, ahead of the launch, the embedded archives `context` says the launch will use:
// the class-path archives and the application archive. A failure is only logged, the launch
// meets it again and reports it; an interruption passes on.
void prepareArchivesAhead(const BundleContext& context);
