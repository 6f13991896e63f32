#include "jvm/VerifiedJVMs.h"

#include <map>

#include "base/Digest.h"
#include "base/TextLines.h"
#include "jvm/JVMFile.h"
#include "platform/cache/UserCache.h"

namespace {

constexpr const char* kKind = "jvm";
constexpr const char* kHeader = "qnlaunch verified JVM 1\n";
// The last line of a whole entry; an entry without it was cut short.
constexpr const char* kTrailer = "end\n";

// Properties fixed by the JVM's build and installation. Names ending in "." stand for
// every property that starts with them.
const char* const kFileDependent[] = {
    "java.version",
    "java.version.date",
    "java.vendor",
    "java.vendor.url",
    "java.vendor.url.bug",
    "java.vendor.version",
    "java.specification.version",
    "java.specification.vendor",
    "java.specification.name",
    "java.vm.",
    "java.runtime.",
    "java.class.version",
    "java.home",
    "os.arch",
    "os.name",
    "sun.arch.data.model",
    "sun.cpu.endian",
};

using Answers = std::map<SString, SString>;

SString entryPrefix(const SString& identity) {
    return kHeader + identity + "\n=\n";
}

// The stored answers for `identity`; none when the entry is missing, cut short or belongs
// to another identity.
Answers readAnswers(const SString& identity) {
    Answers answers;
    SString content;
    if (!UserCache::readEntry(kKind, digestName(identity), content)) return answers;
    const SString prefix = entryPrefix(identity);
    const size_t trailer = content.size() - (content.size() >= 4 ? 4 : 0);
    if (content.compare(0, prefix.size(), prefix) != 0 || content.size() < prefix.size() + 4 ||
        content.compare(trailer, SString::npos, kTrailer) != 0) {
        return answers;
    }
    size_t position = prefix.size();
    while (position < trailer) {
        size_t end = content.find('\n', position);
        const SString line = content.substr(position, end - position);
        position = end + 1;
        const size_t eq = line.find('=');
        if (eq != SString::npos) answers[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return answers;
}

}  // namespace

bool isFileDependentProperty(const SString& name) {
    for (const char* listed : kFileDependent) {
        const SString entry = listed;
        if (entry.back() == '.'
                ? name.size() > entry.size() && name.compare(0, entry.size(), entry) == 0
                : name == entry) {
            return true;
        }
    }
    return false;
}

bool VerifiedJVMs::lookup(const SString& identity, const StringDeque& names, SString& output) {
    if (names.empty()) return false;
    for (const SString& name : names) {
        if (!isFileDependentProperty(name)) return false;
    }
    const Answers answers = readAnswers(identity);
    output = SString(kVerifyMagicLine) + "\n";
    for (const SString& name : names) {
        auto found = answers.find(name);
        if (found == answers.end()) return false;
        output += found->second + "\n";
    }
    return true;
}

void VerifiedJVMs::store(const SString& identity, const StringDeque& names, const SString& output) {
    size_t position = 0;
    SString line;
    bool magic = false;
    while (position < output.size() && !magic) {
        line.clear();
        readLineFromString(output, position, line);
        magic = line == kVerifyMagicLine;
    }
    if (!magic) return;
    Answers answers = readAnswers(identity);
    bool added = false;
    for (const SString& name : names) {
        // A value per name, or the output is not complete and nothing of it is kept.
        if (position >= output.size()) return;
        line.clear();
        readLineFromString(output, position, line);
        if (!isFileDependentProperty(name)) continue;
        auto found = answers.find(name);
        if (found != answers.end() && found->second == line) continue;
        answers[name] = line;
        added = true;
    }
    if (!added) return;
    SString content = entryPrefix(identity);
    for (const auto& answer : answers) content += answer.first + "=" + answer.second + "\n";
    UserCache::writeEntry(kKind, digestName(identity), content + kTrailer);
}
