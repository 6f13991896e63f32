// What the launcher reads back from files it did not write in this run: the input is taken
// as a stored verified-JVM entry in the cache, as a JVM's release file and as a launch
// command whose first word is looked for.
#include <cstdio>
#include <cstdlib>

#include "base/Digest.h"
#include "fuzz/FuzzSupport.h"
#include "jvm/VerifiedJVMs.h"
#include "launch/ClassDataArchive.h"
#include "platform/cache/UserCache.h"

namespace {

void writeScratchFile(const SString& path, const SString& content) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return;
    fwrite(content.data(), 1, content.size(), file);
    fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    const SString input(reinterpret_cast<const char*>(data), size);
    const SString cache = fuzzScratch() + "/cache";
    setenv("QNLAUNCH_CACHE", cache.c_str(), 1);
    RunStatePiece::resetAll();

    const SString identity = "/jdk/bin/java\nid\n-\n-";
    if (UserCache::available()) {
        UserCache::writeEntry("jvm", digestName(identity), input);
        StringDeque names;
        names.push_back("java.version");
        names.push_back("java.vendor");
        SString output;
        VerifiedJVMs::lookup(identity, names, output);
        VerifiedJVMs::store(identity, names, input);
    }

    writeScratchFile(fuzzScratch() + "/release", input);
    hotSpotRelease(fuzzScratch());
    SString word;
    firstShellWord(input, word);

    RunStatePiece::resetAll();
    fuzzTearDown();
    return 0;
}
