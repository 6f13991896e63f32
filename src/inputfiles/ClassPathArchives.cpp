#include "inputfiles/ClassPathArchives.h"

#include "base/LauncherException.h"
#include "inputfiles/ApplicationArchive.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/BundleContext.h"
#include "inputfiles/ExtractedArchives.h"
#include "platform/log/Log.h"

const std::vector<SString>& ClassPathArchives::paths() {
    if (m_extracted || !m_bundle) return m_paths;
    const auto entries = m_bundle->index().entriesOfType(FILE_TYPE_CLASSPATH_ARCHIVE);
    const ExtractedArchives cached(*m_bundle, entries);
    // Made by the first extraction that needs it, so a bundle without any makes none.
    SString directory;
    std::vector<SString> paths;
    for (const FileIndexEntry* entry : entries) paths.push_back(cached.extract(*entry, directory));
    m_paths = paths;
    m_extracted = true;
    return m_paths;
}

void prepareArchivesAhead(const BundleContext& context) {
    try {
        if (context.classPathAhead && context.classPathArchives) context.classPathArchives->paths();
        if (context.applicationArchiveAhead && context.applicationArchive) {
            context.applicationArchive->embedded();
        }
    } catch (const LauncherException& e) {
        logMessage("The archives are extracted at the launch instead: " + e.getMessage(), LOG_INFO);
    }
}
