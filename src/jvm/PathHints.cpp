#include "jvm/PathHints.h"

#include "base/Paths.h"
#include "base/TextLines.h"
#include "jvm/JavaVersion.h"
#include "platform/PlatformImpl.h"

namespace {

// The JVM home behind the java on PATH: its real path less "/bin/java".
SString javaOnPathHome() {
    SString java = PlatformImpl::findProgramOnPath("java");
    if (java.empty()) return SString();
    SString real = PlatformImpl::resolvePath(java);
    const char* suffix = "/bin/java";
    size_t at = stringEndsWith(real, suffix);
    return at == SString::npos || at == 0 ? SString() : real.substr(0, at);
}

// `hint` with #NAME# replaced by the variable's value ("##" stands for "#"). False when a
// variable is unset or empty, or a reference is not closed.
bool substituteEnvironment(const SString& hint, SString& result) {
    result.clear();
    for (size_t i = 0; i < hint.size(); ++i) {
        if (hint[i] != '#') {
            result += hint[i];
            continue;
        }
        size_t end = hint.find('#', i + 1);
        if (end == SString::npos) return false;
        if (end == i + 1) {
            result += '#';
        } else {
            SString value = PlatformImpl::getEnvironmentVariable(hint.substr(i + 1, end - i - 1));
            if (value.empty()) return false;
            result += value;
        }
        i = end;
    }
    return true;
}

// Where the first whole "*" component of `path` is, or npos.
size_t findPatternComponent(const SString& path) {
    for (size_t i = 0; i < path.size(); ++i) {
        bool starts = i == 0 || path[i - 1] == '/';
        bool ends = i + 1 == path.size() || path[i + 1] == '/';
        if (path[i] == '*' && starts && ends) return i;
    }
    return SString::npos;
}

void expandFrom(const SString& done, const SString& rest, std::vector<SString>& out) {
    const size_t star = findPatternComponent(rest);
    if (star == SString::npos) {
        out.push_back(done + rest);
        return;
    }
    const SString directory = done + rest.substr(0, star);
    const SString after = star + 1 < rest.size() ? rest.substr(star + 1) : SString();
    std::vector<SString> names;
    for (const SString& name :
         PlatformImpl::listSubdirectories(directory.empty() ? "/" : directory)) {
        names.push_back(name);
    }
    sortByVersionDescending(names);
    for (const SString& name : names) expandFrom(directory + name, after, out);
}

}  // namespace

bool isPathPattern(const SString& hint) {
    return findPatternComponent(hint) != SString::npos;
}

std::vector<SString> expandPathPattern(const SString& path) {
    std::vector<SString> result;
    expandFrom(SString(), path, result);
    return result;
}

std::vector<SString> expandPathHint(const SString& hint, const StringDeque& partitions) {
    std::vector<SString> homes;
    if (hint.empty()) return homes;
    if (hint == kJavaOnPathHint) {
        SString home = javaOnPathHome();
        if (!home.empty()) homes.push_back(home);
        return homes;
    }
    if (hint.find('#') != SString::npos) {
        SString path;
        if (!substituteEnvironment(hint, path) || path.empty()) return homes;
        return expandPathPattern(path);
    }
    for (const SString& partition : partitions) {
        SString candidate = partition;
        appendPathSeparator(candidate);
        if (candidate.empty()) candidate = kPathSeparator;
        SString relative = hint;
        if (relative.compare(0, 1, kPathSeparator) == 0) relative.erase(0, 1);
        for (const SString& home : expandPathPattern(candidate + relative)) homes.push_back(home);
    }
    return homes;
}
