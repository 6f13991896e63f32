// The archive of a bundled runtime: the input is read as one, its descriptor "jvm" looked
// up, and an archive the reader takes is installed into a private directory of the run.
#include <sys/mman.h>
#include <unistd.h>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "fuzz/FuzzSupport.h"
#include "inputfiles/UstarReader.h"
#include "jvm/EmbeddedRuntime.h"
#include "platform/PlatformImpl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    UniqueFd archive(memfd_create("archive", MFD_CLOEXEC));
    if (!archive || write(archive.get(), data, size) != static_cast<ssize_t>(size)) return 0;
    const long long length = static_cast<long long>(size);
    try {
        UstarReader reader(archive.get(), 0, length);
        UstarEntry entry;
        while (reader.next(entry)) {
        }
        SString descriptor;
        readUstarMember(archive.get(), 0, length, "jvm", 4096, descriptor);
        EmbeddedRuntime(archive.get(), 0, length, "fuzz")
            .installInto(PlatformImpl::createTempSubDirectory());
    } catch (const LauncherException&) {
    }
    fuzzTearDown();
    return 0;
}
