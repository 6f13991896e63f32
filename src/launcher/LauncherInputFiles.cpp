#include "launcher/LauncherInputFiles.h"

#include <cerrno>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "launcher/Launcher.h"
#include "platform/PlatformImpl.h"
#include "platform/SecureDir.h"
#include "platform/SystemError.h"
#include "platform/TrustedPath.h"

// The input file that -qn:extract writes beside the extracted files to replay them.
static const char* const kReplayFileName = "input.tag";

LauncherInputFiles::LauncherInputFiles() = default;

LauncherInputFiles::~LauncherInputFiles() {
    clear();
}

void LauncherInputFiles::clear() {
    // The objects built on tag files go before the tag files themselves.
    m_instructions.reset();
    m_launchScript.reset();
    m_jvmFiles.clear();
    m_tagFiles.clear();
    m_fileIndex.clear();
    m_jvmFilesLoaded = false;
    m_loaded = false;
    m_hasAppendedData = false;
}

void LauncherInputFiles::load(bool loadTagFiles) {
    if (m_loaded) return;
    StdioFile file = PlatformImpl::openFile(Launcher::getLauncherFileName(), "rb");
    if (!file) throw LauncherException("Cannot open launcher file.");
    FILE* stream = file.get();
    if (fseek(stream, -8, SEEK_END) != 0) throw LauncherException("Invalid launcher format.");
    long indexOffset = loadLongValue(stream, "Unable to read file index offset.");
    long identification = loadLongValue(stream, "Unable to read launcher identification value.");
    if (static_cast<uint32_t>(identification) == kLauncherIdentification) {
        m_hasAppendedData = true;
        loadFileIndex(stream, indexOffset);
        for (long i = 0; i < m_fileIndex.size(); ++i) {
            const FileIndexEntry* entry = m_fileIndex.at(i);
            Launcher::logMessage("file type: " + convertToString(entry->m_type) + "\n" +
                                     "  file id: " + convertToString(entry->m_id) + "\n" +
                                     "  length: " + convertToString(entry->m_length) + "\n" +
                                     "  offset: " + convertToString(entry->m_offset) + "\n" +
                                     "  file name: " + entry->m_name,
                                 LOG_INFO);
        }
        if (loadTagFiles) this->loadTagFiles(stream);
    }
    m_loaded = true;
}

void LauncherInputFiles::loadFileIndex(FILE* stream, long indexOffset) {
    m_fileIndex.load(stream, indexOffset);
}

void LauncherInputFiles::loadTagFiles(FILE* stream) {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        FileIndexEntry* entry = m_fileIndex.at(i);
        entry->loadTagFile(stream);
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
                    m_launchScript = std::make_unique<LaunchScript>(*entry->m_tagFile, true);
                    PlatformImpl::setQuiet(m_launchScript->m_quiet);
                    PlatformImpl::setUITitle(m_launchScript->m_description);
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
            m_launchScript = std::make_unique<LaunchScript>(loadTagFile(launchScript), true);
            PlatformImpl::setQuiet(m_launchScript->m_quiet);
            PlatformImpl::setUITitle(m_launchScript->m_description);
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
    for (long i = 0; i < m_fileIndex.size(); ++i) names.push_back(m_fileIndex.at(i)->m_indexName);
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
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        const FileIndexEntry* entry = m_fileIndex.at(i);
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
        entry->extract(SString());
    }
    StdioFile out = createFileStreamIn(SString(), kReplayFileName);
    if (!out) throw LauncherException(systemErrorText(SString(kReplayFileName) + ": ", errno));
    replay.write(out.get());
    if (!out.close())
        throw LauncherException(systemErrorText(SString(kReplayFileName) + ": ", errno));
}
