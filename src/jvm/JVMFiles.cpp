#include "jvm/JVMFiles.h"

#include "base/LauncherException.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/BundleContext.h"
#include "inputfiles/ExtractedArchives.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMMatch.h"
#include "platform/PlatformImpl.h"
#include "platform/cache/UserCache.h"
#include "platform/log/Log.h"
#include "platform/os/TrustedPath.h"

void UnverifiedJVMMatch::addJVMHome(const SString& jvmHome) {
    for (const SString& home : m_jvmHomes) {
        if (home == jvmHome) return;
    }
    m_jvmHomes.push_back(jvmHome);
}

JVMFiles::JVMFiles() {
    m_verification.record = &m_record;
    // The embedded verifier is extracted when a verification first needs to run.
    m_verification.prepareVerifier = [this](SString& classPath, SString& className) {
        writeVerifyJar(classPath, className);
    };
}

void JVMFiles::clear() {
    m_jvmFileList.clear();
    m_unverifiedMatches.clear();
    m_match.reset();
    m_stopAtFirst = false;
    m_verifyClassPath.clear();
    m_verifyClassName.clear();
    m_record = JVMRecord();
}

void JVMFiles::addJVMFile(std::unique_ptr<JVMFile> jvmFile) {
    jvmFile->setVerificationContext(&m_verification);
    m_jvmFileList.push_back(std::move(jvmFile));
}

void JVMFiles::setVerifyClass(const SString& verifyClassPath, const SString& verifyClassName) {
    m_verifyClassPath = verifyClassPath;
    m_verifyClassName = verifyClassName;
}

void JVMFiles::writeVerifyJar(SString& verifyClassPath, SString& verifyClassName) {
    const Bundle* bundle = m_verification.bundle ? m_verification.bundle->bundle : nullptr;
    if (m_verifyClassPath.empty() && m_verifyClassName.empty() && bundle) {
        SString path;
        const auto entries = bundle->index().entriesOfType(FILE_TYPE_VERIFY_ARCHIVE);
        const ExtractedArchives cached(*bundle, entries);
        for (const FileIndexEntry* entry : entries) {
            SString directory;
            path = cached.extract(*entry, directory);
        }
        if (!path.empty()) {
            m_verifyClassPath = "\"" + path + "\"";
            m_verifyClassName = "\"Verify\"";
        }
    }
    verifyClassPath = m_verifyClassPath;
    verifyClassName = m_verifyClassName;
}

void JVMFiles::prepareVerifier() {
    // Without the cache every verification runs the verifier: it is extracted up front.
    SString classPath, className;
    if (!UserCache::available()) writeVerifyJar(classPath, className);
}

void JVMFiles::search(JVMMatchPtrDeque& matches, const SString& userHome) {
    const long matchesBefore = matches.size();
    m_match.reset();
    m_record.beginSearch();
    prepareVerifier();
    if (!userHome.empty()) {
        logMessage("Checking user specified Java home directory => " + userHome, LOG_INFO);
        for (long i = 0; i < m_jvmFileList.size() && !m_match; ++i) {
            m_match = m_jvmFileList.at(i)->verify(userHome, m_verifyClassPath, m_verifyClassName);
        }
    }
    bool searchAllAsked = false;
    if (!m_match) {
        logMessage("Initiating JVM search based on hints...", LOG_INFO);
        for (long i = 0; i < m_jvmFileList.size() && !m_match && !searchAllAsked; ++i) {
            JVMFile* jvmFile = m_jvmFileList.at(i);
            searchAllAsked = jvmFile->getTagFile().getBoolTagValue("SEARCH_ALL", false);
            SubStatusWrapper restoreSubStatus;
            PlatformImpl::setUISubStatus(Searching, jvmFile->getDescription());
            m_match = jvmFile->verifyWithPlatformHints(m_verifyClassPath, m_verifyClassName);
            if (!m_match) {
                m_match = jvmFile->verifyWithPathHints(m_verifyClassPath, m_verifyClassName);
            }
        }
    }
    if (!m_match && searchAllAsked) {
        m_stopAtFirst = true;
        exhaustiveSearch(matches);
    }
    if (m_match) matches.push_back(std::move(m_match));
    reportRefusedJavaHome(matches.size() > matchesBefore ? matches.back()->m_jvmHome : SString());
}

void JVMFiles::reportRefusedJavaHome(const SString& matchedHome) {
    SString home, reason;
    if (!m_record.takeJavaHomeRefusal(matchedHome, home, reason)) return;
    const SString text = "JAVA_HOME=" + showLineBreaks(home) + " is not used: " + reason;
    logMessage(text, LOG_WARNING);
    PlatformImpl::showErrorLine(text);
}

void JVMFiles::searchAll(JVMMatchPtrDeque& matches, bool stopAtFirst) {
    m_match.reset();
    m_record.beginSearch();
    prepareVerifier();
    m_stopAtFirst = stopAtFirst;
    exhaustiveSearch(matches);
    if (m_match) matches.push_back(std::move(m_match));
}

void JVMFiles::exhaustiveSearch(JVMMatchPtrDeque& matches) {
    m_unverifiedMatches.clear();
    StringDeque names;
    for (long i = 0; i < m_jvmFileList.size(); ++i) {
        SString exe = m_jvmFileList.at(i)->getTagFile().getTagValue("JVM_EXE", 0);
        bool known = false;
        for (const SString& name : names) known = known || name == exe;
        if (!known) names.push_back(exe);
    }
    SubStatusWrapper restoreSubStatus;
    PlatformImpl::setUISubStatus(ScanningDisks, SString());
    logMessage("Beginning exhaustive search", LOG_INFO);
    if (m_scanner) {
        m_scanner->scan(names, *this);
    } else {
        PlatformImpl::findFiles(names, *this);
    }
    if (!m_match) verifyCandidates(matches);
}

void JVMFiles::verifyCandidates(JVMMatchPtrDeque& matches) {
    logMessage("Processing unverified matches.\n", LOG_INFO);
    bool stop = false;
    for (long i = 0; i < m_unverifiedMatches.size() && !stop; ++i) {
        UnverifiedJVMMatch* candidate = m_unverifiedMatches.at(i);
        for (const SString& home : candidate->m_jvmHomes) {
            if (stop || PlatformImpl::isCanceled()) break;
            auto match =
                candidate->m_jvmFile->verifyFound(home, m_verifyClassPath, m_verifyClassName);
            if (match) {
                matches.push_back(std::move(match));
                stop = m_stopAtFirst;
            }
        }
        stop = stop || PlatformImpl::isCanceled();
    }
}

bool JVMFiles::foundFile(const SString& path) {
    bool result = false;
    for (long i = 0; i < m_jvmFileList.size() && !m_match; ++i) {
        JVMFile* jvmFile = m_jvmFileList.at(i);
        SString exe = jvmFile->getTagFile().getTagValue("JVM_EXE", 0);
        if (exe.empty() || exe.size() >= path.size() ||
            path.compare(path.size() - exe.size(), exe.size(), exe) != 0) {
            continue;
        }
        SString home = path.substr(0, path.size() - exe.size() - 1);
        if (i == 0 && m_stopAtFirst) {
            m_match = jvmFile->verifyFound(home, m_verifyClassPath, m_verifyClassName);
            result = m_match != nullptr;
        } else if (!m_match) {
            addUnverifiedMatch(jvmFile, home);
        }
    }
    return result;
}

void JVMFiles::addUnverifiedMatch(JVMFile* jvmFile, const SString& jvmHome) {
    for (long i = 0; i < m_unverifiedMatches.size(); ++i) {
        if (m_unverifiedMatches.at(i)->equals(*jvmFile)) {
            m_unverifiedMatches.at(i)->addJVMHome(jvmHome);
            return;
        }
    }
    auto match = std::make_unique<UnverifiedJVMMatch>(*jvmFile);
    match->addJVMHome(jvmHome);
    m_unverifiedMatches.push_back(std::move(match));
}

const JVMFile* JVMFiles::getJVMFile(long index) const {
    if (index < 0 || index >= m_jvmFileList.size()) {
        throw LauncherException(PlatformImpl::getMessageText(MSG_INVALID_JVM_FILE_ID));
    }
    return m_jvmFileList.at(index);
}
