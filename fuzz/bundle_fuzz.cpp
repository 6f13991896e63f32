// Trailer, file index and embedded tag files: the input is a whole launcher file.
#include <cstdio>

#include "base/LauncherException.h"
#include "fuzz/FuzzSupport.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    static const SString path = fuzzScratch() + "/bundle.bin";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    Launcher::setLauncherFileName(path);
    try {
        Launcher::inputFiles().load(true);
        const LauncherInputFiles& files = Launcher::inputFiles();
        for (long i = 0; i < files.getFileCount(); ++i) files.getFile(files.getFileAt(i)->m_id);
    } catch (const LauncherException&) {
    }
    fuzzTearDown();
    return 0;
}
