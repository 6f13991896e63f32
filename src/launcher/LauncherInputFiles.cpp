#include "launcher/LauncherInputFiles.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/SecureDir.h"
#include "platform/os/SystemError.h"
#include "platform/os/TrustedPath.h"

// The input file that -qn:extract writes beside the extracted files to replay them.
static const char* const kReplayFileName = "input.tag";

LauncherInputFiles::LauncherInputFiles() {
    m_jvmFiles.setBundleContext(&m_context);
    refreshContext();
}

LauncherInputFiles::~LauncherInputFiles() {
    clear();
}

void LauncherInputFiles::clear() {
    // The objects built on tag files go before the tag files themselves.
    m_instructions.reset();
    m_launchScript.reset();
    m_jvmFiles.clear();
    m_tagFiles.clear();
    m_bundle.reset();
    m_jvmFilesLoaded = false;
    m_loaded = false;
    m_indexRead = false;
    m_context = BundleContext();
    m_runtimeFiles.reset();
    m_applicationArchive.reset();
    m_classPathArchives.reset();
    refreshContext();
}

const FileIndex& LauncherInputFiles::index_() const {
    static const FileIndex none;
    return m_bundle ? m_bundle->index() : none;
}

void LauncherInputFiles::setLauncherFiles(const SString& launcherFile,
                                          const SString& originalLauncherFile) {
    m_context.launcherFile = launcherFile;
    m_context.originalLauncherFile = originalLauncherFile;
    m_runtimeFiles.reset();
    m_applicationArchive.reset();
    m_classPathArchives.reset();
    refreshContext();
}

void LauncherInputFiles::refreshContext() {
    if (!m_runtimeFiles) {
        m_runtimeFiles = std::make_unique<RuntimeFiles>(m_context.originalLauncherFile);
    }
    if (!m_applicationArchive) {
        m_applicationArchive =
            std::make_unique<ApplicationArchive>(m_bundle.get(), m_context.originalLauncherFile);
    }
    if (!m_classPathArchives) {
        m_classPathArchives = std::make_unique<ClassPathArchives>(m_bundle.get());
    }
    m_context.bundle = m_bundle.get();
    m_context.runtimeFiles = m_runtimeFiles.get();
    m_context.applicationArchive = m_applicationArchive.get();
    m_context.classPathArchives = m_classPathArchives.get();
}

void LauncherInputFiles::setLaunchScript(std::unique_ptr<LaunchScript> script) {
    m_launchScript = std::move(script);
    m_launchScript->setContext(&m_context);
    PlatformImpl::setQuiet(m_launchScript->m_quiet);
    PlatformImpl::setUITitle(m_launchScript->m_description);
    const SString& command = m_launchScript->m_command;
    m_context.classPathAhead = command.find("%CP%") != SString::npos;
    m_context.applicationArchiveAhead =
        (command + m_launchScript->m_archive).find("%APPLICATION_ARCHIVE%()") != SString::npos;
}

void LauncherInputFiles::openBundle() {
    if (!m_bundle) {
        m_bundle = std::make_unique<Bundle>(m_context.launcherFile);
        m_applicationArchive.reset();
        m_classPathArchives.reset();
        refreshContext();
    }
    if (m_indexRead) return;
    m_bundle->readIndex();
    m_indexRead = true;
}

bool LauncherInputFiles::launcherOptionsFirst() {
    try {
        openBundle();
        const FileIndex& index = m_bundle->index();
        for (long i = 0; i < index.size(); ++i) {
            FileIndexEntry* entry = index.at(i);
            if (entry->m_type != FILE_TYPE_LAUNCH_SCRIPT) continue;
            // The first launch script is the one the run uses.
            m_bundle->loadTagFile(*entry);
            return entry->m_tagFile->getBoolTagValue(kLauncherOptionsFirstTag, false);
        }
    } catch (const LauncherException&) {
        // The load that follows reports what cannot be read.
    }
    return false;
}

void LauncherInputFiles::load(bool loadTagFiles) {
    if (m_loaded) return;
    openBundle();
    if (m_bundle->hasAppendedData()) {
        const FileIndex& index = m_bundle->index();
        for (long i = 0; i < index.size(); ++i) {
            const FileIndexEntry* entry = index.at(i);
            logMessage("file type: " + convertToString(entry->m_type) + "\n" +
                           "  file id: " + convertToString(entry->m_id) + "\n" +
                           "  length: " + convertToString(entry->m_length) + "\n" +
                           "  offset: " + convertToString(entry->m_offset) + "\n" +
                           "  file name: " + entry->m_name,
                       LOG_INFO);
        }
        if (loadTagFiles) this->loadTagFiles();
    }
    m_loaded = true;
}

void LauncherInputFiles::loadTagFiles() {
    const FileIndex& index = m_bundle->index();
    for (long i = 0; i < index.size(); ++i) {
        FileIndexEntry* entry = index.at(i);
        m_bundle->loadTagFile(*entry);
        switch (entry->m_type) {
            case FILE_TYPE_INSTRUCTIONS:
                if (!m_instructions)
                    m_instructions = std::make_unique<Instructions>(*entry->m_tagFile);
                break;
            case FILE_TYPE_JVM:
                if (!m_jvmFilesLoaded)
                    m_jvmFiles.addJVMFile(std::make_unique<JVMFile>(*entry->m_tagFile));
                break;
            case FILE_TYPE_LAUNCH_SCRIPT:
                if (!m_launchScript) {
                    setLaunchScript(std::make_unique<LaunchScript>(*entry->m_tagFile, true));
                }
                break;
            default:
                break;
        }
    }
    m_jvmFilesLoaded = true;
}

TagFile& LauncherInputFiles::loadTagFile(const SString& fileName) {
    auto tagFile = std::make_unique<TagFile>(fileName);
    TagFile& result = *tagFile;
    m_tagFiles.push_back(std::move(tagFile));
    return result;
}

void LauncherInputFiles::load(const TagFile& inputFile) {
    SString instructions = inputFile.getTagValue("INSTRUCTIONS", 0);
    if (!instructions.empty()) {
        try {
            m_instructions = std::make_unique<Instructions>(loadTagFile(instructions));
        } catch (const LauncherException& e) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_LOADING_INSTRUCTIONS) +
                                    e.getMessage());
        }
    }
    SString launchScript = inputFile.getTagValue("LAUNCHSCRIPT", 0);
    if (!launchScript.empty()) {
        try {
            setLaunchScript(std::make_unique<LaunchScript>(loadTagFile(launchScript), true));
        } catch (const LauncherException& e) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_LOADING_LAUNCH_SCRIPT) +
                                    e.getMessage());
        }
    }
    SString classPath = inputFile.getTagValue("VERIFY_CLASSPATH", 0);
    SString className = inputFile.getTagValue("VERIFY_CLASS_NAME", 0);
    if (!classPath.empty() && !className.empty()) m_jvmFiles.setVerifyClass(classPath, className);

    SString title = inputFile.getTagValue("UI_TITLE", 0);
    if (!title.empty()) PlatformImpl::setUITitle(title);

    const StringDeque* jvms = inputFile.getValue("JVM");
    if (!jvms) return;
    for (const SString& jvm : *jvms) {
        m_jvmFilesLoaded = true;
        if (jvm.empty()) continue;
        try {
            m_jvmFiles.addJVMFile(std::make_unique<JVMFile>(loadTagFile(jvm)));
        } catch (const LauncherException& e) {
            throw LauncherException(PlatformImpl::getMessageText(MSG_ERROR_LOADING_JVM_FILE) +
                                    e.getMessage());
        }
    }
}

void LauncherInputFiles::extractAll() const {
    // Every name is checked before anything is written: nothing is overwritten, and no
    // symbolic link standing under one of the names is followed.
    StringDeque names;
    names.push_back(kReplayFileName);
    const FileIndex& index = index_();
    for (long i = 0; i < index.size(); ++i) names.push_back(index.at(i)->m_indexName);
    for (long i = 0; i < names.size(); ++i) {
        bool twice = false;
        for (long j = 0; j < i; ++j) twice = twice || names.at(j) == names.at(i);
        if (!isSafeFileName(names.at(i)) || names.at(i).empty()) {
            throw LauncherException("Invalid file name in file index: " +
                                    showLineBreaks(names.at(i)) + "; nothing was extracted.");
        }
        if (twice || entryExists(SString(), names.at(i))) {
            throw LauncherException(names.at(i) + " exists already; nothing was extracted.");
        }
    }
    TagFile replay;
    replay.setTagValue("ACTION", "RUN_INSTRUCTIONS");
    for (long i = 0; i < index.size(); ++i) {
        const FileIndexEntry* entry = index.at(i);
        switch (entry->m_type) {
            case FILE_TYPE_JVM:
                replay.appendTagValue("JVM", entry->m_name);
                break;
            case FILE_TYPE_LAUNCH_SCRIPT:
                replay.setTagValue("LAUNCHSCRIPT", entry->m_name);
                break;
            case FILE_TYPE_INSTRUCTIONS:
                replay.setTagValue("INSTRUCTIONS", entry->m_name);
                break;
            default:
                break;
        }
        m_bundle->extract(*entry, SString());
    }
    StdioFile out = createFileStreamIn(SString(), kReplayFileName);
    if (!out) throw LauncherException(systemErrorText(SString(kReplayFileName) + ": ", errno));
    const bool written = replay.write(out.get());
    if (!written || !out.close())
        throw LauncherException(systemErrorText(SString(kReplayFileName) + ": ", errno));
}
