// Trailer, file index, digest block and embedded tag files: the input is a whole launcher
// file.
#include <cstdio>

#include "base/LauncherException.h"
#include "fuzz/FuzzSupport.h"
#include "inputfiles/Bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    static const SString path = fuzzScratch() + "/bundle.bin";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);
    try {
        // The launcher's own reader: trailer, index, digest block, then every tag file.
        Bundle bundle(path);
        bundle.readIndex();
        const FileIndex& index = bundle.index();
        for (long i = 0; i < index.size(); ++i) {
            index.getFile(index.at(i)->m_id);
            try {
                bundle.loadTagFile(*index.at(i));
            } catch (const LauncherException&) {
            }
        }
    } catch (const LauncherException&) {
    }
    fuzzTearDown();
    return 0;
}
