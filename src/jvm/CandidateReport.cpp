#include "jvm/CandidateReport.h"

#include "base/Log.h"
#include "base/Numbers.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "jvm/JVMFiles.h"

namespace {
std::vector<CandidateReport::Candidate> g_candidates;
}

void CandidateReport::clear() {
    g_candidates.clear();
}

void CandidateReport::refused(const SString& home, const SString& description,
                              const SString& reason) {
    logMessage("Refused JVM at " + home + " for " + description + ": " + reason, LOG_INFO);
    g_candidates.push_back(Candidate{home, description, reason});
}

const std::vector<CandidateReport::Candidate>& CandidateReport::candidates() {
    return g_candidates;
}

std::vector<SString> CandidateReport::lines(const JVMFiles& files, size_t limit) {
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
    if (g_candidates.empty()) {
        result.push_back("No JVM was found where the descriptors look for one.");
    } else {
        result.push_back("Tried:");
        for (size_t i = 0; i < g_candidates.size() && i < limit; ++i) {
            result.push_back("  " + g_candidates[i].home + ": " + g_candidates[i].reason);
        }
        if (g_candidates.size() > limit) {
            result.push_back("  and " +
                             convertToString(static_cast<long>(g_candidates.size() - limit)) +
                             " more");
        }
    }
    result.push_back("Choose a JVM with -qn:javahome DIR; -qn:log FILE writes the full log.");
    return result;
}
