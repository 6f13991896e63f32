#include "qnpack/StubFile.h"

#include <cstring>

#include "base/LauncherException.h"
#include "base/StdioFile.h"
#include "inputfiles/Bundle.h"
#include "platform/PlatformImpl.h"

namespace {

const Architecture kArchitectures[] = {
    {"x86-64", {"x86_64", "amd64"}, 62},
    {"arm64", {"aarch64", nullptr}, 183},
};

const unsigned char kElfMagic[] = {0x7f, 'E', 'L', 'F'};

}  // namespace

const Architecture* findArchitecture(const SString& name) {
    for (const Architecture& a : kArchitectures) {
        if (name == a.name) return &a;
        for (const char* alias : a.aliases) {
            if (alias && name == alias) return &a;
        }
    }
    return nullptr;
}

const Architecture* architectureOfMachine(unsigned elfMachine) {
    for (const Architecture& a : kArchitectures) {
        if (a.elfMachine == elfMachine) return &a;
    }
    return nullptr;
}

const char* ownArchitecture() {
#if defined(__x86_64__)
    return "x86-64";
#elif defined(__aarch64__)
    return "arm64";
#else
    return "";
#endif
}

unsigned elfMachine(const SString& path) {
    StdioFile file = PlatformImpl::openFile(path, "rb");
    unsigned char header[20] = {};
    size_t n = file ? fread(header, 1, sizeof header, file.get()) : 0;
    if (n != sizeof header || memcmp(header, kElfMagic, sizeof kElfMagic) != 0) return 0;
    // Byte 5 is the data encoding: 2 for big-endian, 1 for little-endian.
    return header[5] == 2 ? (header[18] << 8) | header[19] : header[18] | (header[19] << 8);
}

bool hasAppendedData(const SString& path) {
    try {
        return Bundle(path).endsWithTrailer();
    } catch (const LauncherException&) {
        return false;
    }
}
