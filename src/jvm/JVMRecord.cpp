#include "jvm/JVMRecord.h"

#include "base/Numbers.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"

SString JVMRecord::key(const SString& first, const StringDeque& rest) {
    // A NUL cannot occur in a path or a property name, so the key is unambiguous.
    SString result = first;
    for (const SString& part : rest) {
        result += '\0';
        result += part;
    }
    return result;
}

void JVMRecord::refused(const SString& home, const SString& description, const SString& reason) {
    logMessage("Refused JVM at " + home + " for " + description + ": " + reason, LOG_INFO);
    m_candidates.push_back(Candidate{home, description, reason});
}

void JVMRecord::matched(const SString& home, const SString& description) {
    m_candidates.push_back(Candidate{home, description, SString()});
}

bool JVMRecord::firstReach(const SString& realHome, const TagFile& descriptor) {
    return m_reached.insert(std::make_pair(realHome, &descriptor)).second;
}

const SString* JVMRecord::output(const SString& realExe, const StringDeque& names) const {
    auto found = m_outputs.find(key(realExe, names));
    return found == m_outputs.end() ? nullptr : &found->second;
}

void JVMRecord::rememberOutput(const SString& realExe, const StringDeque& names,
                               const SString& output) {
    m_outputs[key(realExe, names)] = output;
}

void JVMRecord::javaHomeRefused(const SString& home, const SString& reason) {
    if (!m_javaHome.empty()) return;
    m_javaHome = home;
    m_javaHomeReal = PlatformImpl::resolvePath(home);
    m_javaHomeReason = reason;
}

bool JVMRecord::takeJavaHomeRefusal(const SString& matchedHome, SString& home, SString& reason) {
    if (m_javaHome.empty() || m_javaHomeTold) return false;
    // Links and other hints may reach that JVM by another name.
    if (!matchedHome.empty() &&
        (matchedHome == m_javaHome ||
         (!m_javaHomeReal.empty() && PlatformImpl::resolvePath(matchedHome) == m_javaHomeReal))) {
        return false;
    }
    m_javaHomeTold = true;
    home = m_javaHome;
    reason = m_javaHomeReason;
    return true;
}

SString JVMRecord::lastReason(const SString& home) const {
    for (auto candidate = m_candidates.rbegin(); candidate != m_candidates.rend(); ++candidate) {
        if (candidate->home == home) return candidate->reason;
    }
    return SString();
}

std::vector<SString> JVMRecord::reportLines(const JVMFiles& files, size_t limit) const {
    std::vector<SString> result;
    result.push_back("This program accepts:");
    for (long i = 0; i < files.getJVMFileCount(); ++i) {
        const TagFile& tags = files.getJVMFile(i)->getTagFile();
        SString line = "  " + tags.getTagValue("DESC", 0);
        SString constraints;
        if (const StringDeque* properties = tags.getValue("JVM_PROPERTIES")) {
            for (const SString& property : *properties) {
                if (!constraints.empty()) constraints += ", ";
                constraints += property;
            }
        }
        if (!constraints.empty()) line += " (" + constraints + ")";
        result.push_back(line);
    }
    std::vector<const Candidate*> refusals;
    for (const Candidate& candidate : m_candidates) {
        if (!candidate.reason.empty()) refusals.push_back(&candidate);
    }
    if (refusals.empty()) {
        result.push_back("No JVM was found where the descriptors look for one.");
    } else {
        result.push_back("Tried:");
        for (size_t i = 0; i < refusals.size() && i < limit; ++i) {
            result.push_back("  " + refusals[i]->home + ": " + refusals[i]->reason);
        }
        if (refusals.size() > limit) {
            result.push_back("  and " +
                             convertToString(static_cast<long>(refusals.size() - limit)) + " more");
        }
    }
    result.push_back("Choose a JVM with -qn:javahome DIR; -qn:log FILE writes the full log.");
    return result;
}
