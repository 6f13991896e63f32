// The packer's jar reader: the central directory, stored and deflated entries, the
// manifest and class-file versions. Besides crashes, the target stops when an entry is
// read back with another size than its directory entry records.
#include <cstdlib>

#include "base/LauncherException.h"
#include "qnpack/JarFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const SString input(reinterpret_cast<const char*>(data), size);
    parseManifest(input);
    splitClassPath(input);
    classFileJavaVersion(input);
    try {
        JarFile jar("fuzz.jar", input);
        for (const JarEntry& entry : jar.entries()) {
            // Large claimed sizes only cost time: the reader bounds them itself.
            if (entry.size > (4u << 20)) continue;
            try {
                const SString bytes = jar.read(entry);
                if (bytes.size() != entry.size) abort();
                if (entry.name == "META-INF/MANIFEST.MF") readManifest(jar);
                classFileJavaVersion(bytes);
            } catch (const LauncherException&) {
            }
        }
    } catch (const LauncherException&) {
    }
    return 0;
}
