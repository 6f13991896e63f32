#include "qnpack/ClassPath.h"

#include <cctype>
#include <set>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "platform/PlatformImpl.h"
#include "qnpack/JarFile.h"
#include "qnpack/JarSource.h"

// The order is the JVM's. Its class loader keeps the URLs not yet opened on a stack: it
// takes the next one, skips it when a jar of that URL is open already, opens it, and
// pushes the entries of that jar's Class-Path so that they come next, ahead of the rest of
// the list. The class path is so walked depth first: a jar, then the jars its Class-Path
// reaches (theirs included), then the next entry. The walk below is that stack, with jars
// compared by their real paths. (Checked against java -jar in OneCommand_e2e, which lists a
// resource every jar holds in both runs.)

namespace {

const char* const kDefaultSystemPrefix = "/usr/share/java";

// An entry waiting on the stack.
struct Pending {
    SString entry;      // as the manifest or the option writes it (escapes decoded)
    SString namingJar;  // the jar whose Class-Path names it; empty for --class-path
};

bool startsWithIgnoringCase(const SString& text, const char* prefix) {
    for (size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size() || tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

// How messages name where an entry comes from.
SString entryOrigin(const Pending& p) {
    return p.namingJar.empty() ? SString("--class-path entry") : p.namingJar + ": Class-Path entry";
}

// The path a Class-Path entry leads to, as the JVM resolves the relative URL against the
// jar's own URL; empty with `problem` set when it leads to no local jar.
SString resolveEntry(const Pending& p, SString& problem) {
    if (p.namingJar.empty()) return normalizePath(p.entry);
    SString entry = p.entry;
    if (startsWithIgnoringCase(entry, "file:")) {
        entry = entry.substr(5);
        if (entry.compare(0, 2, "//") == 0) {
            // file://HOST/PATH: only the local host, written as nothing or "localhost".
            const size_t slash = entry.find('/', 2);
            const SString host =
                entry.substr(2, slash == SString::npos ? SString::npos : slash - 2);
            if (!host.empty() && host != "localhost")
                entry = "//" + host;
            else
                entry = slash == SString::npos ? SString("/") : entry.substr(slash);
        }
    }
    if (entry.empty()) {
        problem = entryOrigin(p) + " " + p.entry + " names no file";
        return SString();
    }
    const size_t colon = entry.find(':');
    if (entry.compare(0, 2, "//") == 0 || (colon != SString::npos && colon < entry.find('/'))) {
        problem = entryOrigin(p) + " " + p.entry +
                  " is not a local file; give the class path with --class-path JAR...";
        return SString();
    }
    if (!entry.empty() && entry.back() == '/') {
        problem = entryOrigin(p) + " " + p.entry +
                  " is a directory, which cannot be embedded; pack it into a jar and give the "
                  "class path with --class-path JAR...";
        return SString();
    }
    if (entry[0] == '/') return normalizePath(entry);
    return normalizePath(joinPath(dirName(p.namingJar), entry));
}

// `path` made absolute against the current directory, normalized.
SString absolutePath(const SString& path) {
    if (!path.empty() && path[0] == '/') return normalizePath(path);
    return normalizePath(PlatformImpl::currentDirectory() + "/" + path);
}

bool isBelow(const SString& path, const SString& prefix) {
    if (prefix == "/") return true;
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
           path[prefix.size()] == '/';
}

// A signed jar's copy keeps its manifest, so the JVM resolves its Class-Path at run time
// against the directory the launcher extracts it to. Class-path archives are extracted
// into one directory under their names, so an entry that is a plain name of an embedded
// class-path archive finds that copy; any other entry leads outside the bundle's copies.
void warnAboutSignedJars(const ClassPathRequest& request, ClassPath& result) {
    std::set<SString> embeddedNames;
    for (const ClassPathJar& jar : result.jars) {
        if (!jar.reference) embeddedNames.insert(baseName(jar.path));
    }
    auto warn = [&](const SString& path, const std::vector<SString>& entries, bool besideCopies) {
        SString outside;
        for (const SString& entry : entries) {
            const bool inside =
                besideCopies && entry.find('/') == SString::npos && embeddedNames.count(entry) > 0;
            if (!inside) outside += (outside.empty() ? "" : ", ") + entry;
        }
        if (outside.empty()) return;
        result.warnings.push_back(path +
                                  " is signed, so it is embedded as it is (its signature covers "
                                  "the manifest): at run time the JVM also looks for its "
                                  "Class-Path entries " +
                                  outside + " outside the bundle's copies");
    };
    if (request.mainSigned) warn(request.mainJar, splitClassPath(request.mainClassPath), false);
    for (const ClassPathJar& jar : result.jars) {
        if (jar.isSigned && !jar.reference) warn(jar.path, jar.classPathEntries, true);
    }
}

}  // namespace

SString normalizePath(const SString& path) {
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<SString> parts;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('/', at);
        if (end == SString::npos) end = path.size();
        const SString part = path.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") {
                parts.pop_back();
            } else if (!absolute) {
                parts.push_back(part);
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    SString normalized = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i) normalized += (i ? "/" : "") + parts[i];
    return normalized.empty() ? SString(".") : normalized;
}

ClassPath resolveClassPath(const ClassPathRequest& request) {
    ClassPath result;
    const SString prefix =
        absolutePath(request.systemPrefix.empty() ? kDefaultSystemPrefix : request.systemPrefix);
    std::set<SString> taken;
    taken.insert(PlatformImpl::resolvePath(request.mainJar));

    std::vector<Pending> stack;
    auto pushEntries = [&](const std::vector<SString>& entries, const SString& namingJar) {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            stack.push_back({*it, namingJar});
    };
    if (request.optionGiven) {
        pushEntries(request.optionEntries, SString());
    } else {
        pushEntries(splitClassPath(request.mainClassPath), request.mainJar);
    }
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        SString problem;
        const SString path = resolveEntry(next, problem);
        if (path.empty()) {
            result.problems.push_back(problem);
            continue;
        }
        const SString real = PlatformImpl::resolvePath(path);
        if (!real.empty() && taken.count(real)) continue;
        JarSourceOpening opening = openJarSource(path);
        if (opening.status == JarSourceOpening::Missing) {
            result.warnings.push_back(entryOrigin(next) + " " + next.entry + " is not at " + path +
                                      "; it is left out, as java -jar would do");
            continue;
        }
        if (opening.status == JarSourceOpening::Refused) {
            result.problems.push_back(entryOrigin(next) + " " + next.entry + ": " + path + " " +
                                      opening.why);
            continue;
        }
        taken.insert(real);
        ClassPathJar jar;
        jar.path = path;
        jar.origin =
            next.namingJar.empty() ? SString("--class-path") : "Class-Path of " + next.namingJar;
        // A reference keeps the path under the prefix as the entry names it, not the file
        // its links lead to: distributions install versioned jars behind unversioned
        // links (bcprov.jar -> bcprov-1.72.jar) and a package update moves the link, so
        // the named path is the one that stays valid.
        const SString absolute = absolutePath(path);
        if (request.systemJars && isBelow(absolute, prefix)) {
            jar.reference = true;
            jar.path = absolute;
        }
        try {
            const JarFile file(path, std::move(opening.source));
            const std::map<SString, SString> manifest = readManifest(file);
            auto classPath = manifest.find("class-path");
            jar.hasClassPath = classPath != manifest.end();
            if (jar.hasClassPath) jar.classPathEntries = splitClassPath(classPath->second);
            jar.isSigned = isSignedJar(file);
            if (request.onJar) request.onJar(jar, file);
        } catch (const LauncherException& e) {
            result.problems.push_back(entryOrigin(next) + " " + next.entry + ": " + e.getMessage());
            continue;
        }
        result.jars.push_back(jar);
        pushEntries(jar.classPathEntries, path);
    }
    warnAboutSignedJars(request, result);
    return result;
}
