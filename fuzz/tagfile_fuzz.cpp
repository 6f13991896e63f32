// Tag-file reader: any bytes, read whole and as a byte range.
#include <cstdio>

#include "base/LauncherException.h"
#include "fuzz/FuzzSupport.h"
#include "inputfiles/TagFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    FILE* stream = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!stream) return 0;
    for (long length : {-1L, static_cast<long>(size / 2)}) {
        TagFile tagFile;
        try {
            tagFile.load(stream, "fuzz.tag", static_cast<long>(size / 3) * (length >= 0), length);
            tagFile.getBoolTagValue("A", false);
            tagFile.getTagValue("", 3);
        } catch (const LauncherException&) {
        }
    }
    fclose(stream);
    fuzzTearDown();
    return 0;
}
