// The packer's jar reader and manifest checks: the central directory, stored and
// deflated entries, the manifest, class-file versions, the checks of Main-Class,
// Add-Opens/Add-Exports and Enable-Native-Access, the manifest without Class-Path and
// the copy of a jar without it. Besides crashes, the target stops when an entry is read
// back with another size than its directory entry records, when a value a check passes
// holds what the launch command cannot carry, when removing Class-Path changes another
// attribute, or when a copied jar differs from its original in any other entry.
#include <cstdlib>
#include <map>

#include "base/LauncherException.h"
#include "qnpack/ClassPath.h"
#include "qnpack/JarFile.h"
#include "qnpack/JarRewriter.h"
#include "qnpack/ManifestChecks.h"

namespace {

// Copies larger than this are cut short: overlapping entries can make a small input's
// copy huge, which only costs memory.
const size_t kMaxCopy = 8u << 20;

struct CopyTooLarge {};

bool holdsControlOrBlank(const SString& text) {
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F) return true;
    }
    return false;
}

void checkManifestValues(const std::map<SString, SString>& attributes) {
    for (const auto& attribute : attributes) {
        const SString& value = attribute.second;
        if (classNameProblem(value).empty()) {
            const SString dotted = dottedClassName(value);
            if (value[0] == '-' || holdsControlOrBlank(value) ||
                dotted.find('/') != SString::npos || dotted.find("..") != SString::npos ||
                dotted.back() == '.')
                abort();
        }
        if (modulePackagesProblem(value).empty()) {
            for (const SString& pair : blankSeparated(value)) {
                if (pair.find('/') == SString::npos || pair.find('/') != pair.rfind('/') ||
                    pair.find_first_of("=,%\"'\\") != SString::npos || holdsControlOrBlank(pair))
                    abort();
            }
        }
        if (moduleListProblem(value).empty()) {
            for (const SString& module : moduleList(value)) {
                if (module.find_first_of(",=/%\"'\\") != SString::npos ||
                    holdsControlOrBlank(module))
                    abort();
            }
        }
    }
}

void checkWithoutClassPath(const SString& manifest) {
    std::map<SString, SString> expected = parseManifest(manifest);
    expected.erase("class-path");
    if (parseManifest(manifestWithoutClassPath(manifest)) != expected) abort();
}

void checkCopy(const JarFile& jar) {
    SString copy;
    try {
        copyJarWithoutClassPath(jar, [&](const char* data, size_t size) {
            if (copy.size() + size > kMaxCopy) throw CopyTooLarge();
            copy.append(data, size);
        });
    } catch (const LauncherException&) {
        return;
    } catch (const CopyTooLarge&) {
        return;
    }
    const JarFile copied("copy.jar", copy);
    if (copied.entries().size() != jar.entries().size()) abort();
    const JarEntry* manifest = manifestEntry(jar);
    for (size_t i = 0; i < jar.entries().size(); ++i) {
        const JarEntry& before = jar.entries()[i];
        const JarEntry& after = copied.entries()[i];
        if (after.name != before.name) abort();
        if (&before == manifest || before.size > (4u << 20)) continue;
        SString original;
        try {
            original = jar.read(before);
        } catch (const LauncherException&) {
            continue;
        }
        if (copied.read(after) != original) abort();
    }
    if (manifest && readManifest(copied).count("class-path")) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const SString input(reinterpret_cast<const char*>(data), size);
    const std::map<SString, SString> attributes = parseManifest(input);
    checkManifestValues(attributes);
    checkWithoutClassPath(input);
    for (const SString& entry : splitClassPath(input)) {
        const SString normalized = normalizePath(entry);
        if (normalizePath(normalized) != normalized || normalized.find("//") != SString::npos)
            abort();
    }
    classFileJavaVersion(input);
    try {
        JarFile jar("fuzz.jar", input);
        for (const JarEntry& entry : jar.entries()) {
            // Large claimed sizes only cost time: the reader bounds them itself.
            if (entry.size > (4u << 20)) continue;
            try {
                const SString bytes = jar.read(entry);
                if (bytes.size() != entry.size) abort();
                if (&entry == manifestEntry(jar)) {
                    checkManifestValues(readManifest(jar));
                    checkWithoutClassPath(bytes);
                }
                classFileJavaVersion(bytes);
            } catch (const LauncherException&) {
            }
        }
        isSignedJar(jar);
        checkCopy(jar);
    } catch (const LauncherException&) {
    }
    return 0;
}
