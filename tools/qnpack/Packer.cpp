#include "qnpack/Packer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherInputFiles.h"
#include "platform/PlatformImpl.h"
#include "qnpack/PackChecks.h"

namespace {

struct TypeOption {
    const char* option;
    const char* name;
    FileType type;
};

const TypeOption kTypes[] = {
    {"--instructions", "instructions", FILE_TYPE_INSTRUCTIONS},
    {"--jvm", "jvm", FILE_TYPE_JVM},
    {"--launch-script", "launch-script", FILE_TYPE_LAUNCH_SCRIPT},
    {"--classpath-archive", "classpath-archive", FILE_TYPE_CLASSPATH_ARCHIVE},
    {"--jvm-installer", "jvm-installer", FILE_TYPE_JVM_INSTALLER},
    {"--verify-archive", "verify-archive", FILE_TYPE_VERIFY_ARCHIVE},
    {"--app-archive", "app-archive", FILE_TYPE_APPLICATION_ARCHIVE},
    {"--embedded-launcher", "embedded-launcher", FILE_TYPE_EMBEDDED_LAUNCHER},
};

const char* const kUsage =
    "usage: qnpack create -o OUT [--arch ARCH] [--stub STUB] FILE-OPTIONS...\n"
    "       qnpack list BUNDLE\n"
    "Run 'qnpack create --help' or 'qnpack list --help' for details.\n";

const char* const kCreateHelp =
    "usage: qnpack create -o OUT [--arch ARCH] [--stub STUB] FILE-OPTIONS...\n"
    "\n"
    "Copies the launcher stub to OUT and appends the files, their index and the trailer.\n"
    "The stub is the one for ARCH (arm64 or x86-64; by default this machine's): the qnlaunch\n"
    "beside qnpack for this machine, ARCH/qnlaunch beside qnpack for the other; --stub names\n"
    "the stub instead; with --arch, a stub for another architecture is refused.\n"
    "Each file option takes PATH or ID=PATH and may repeat; ids default to 1, 2, 3 ... in\n"
    "command-line order, skipping ids already taken. The index keeps command-line order;\n"
    "an entry's name is the base name of its PATH.\n"
    "\n"
    "  --instructions PATH        instructions tag file\n"
    "  --jvm PATH                 JVM descriptor tag file\n"
    "  --launch-script PATH       launch script tag file\n"
    "  --classpath-archive PATH   archive added to the application class path\n"
    "  --jvm-installer PATH       program that installs a JVM into its working directory\n"
    "  --verify-archive PATH      archive holding the Verify class\n"
    "  --app-archive PATH         the application archive\n"
    "  --embedded-launcher PATH   a further launcher, started by EXECUTE_LAUNCHER\n"
    "\n"
    "Tag files are parsed, instructions and launch scripts checked, names, ids and sizes\n"
    "validated; on any problem nothing is written and the exit status is 1.\n";

const char* const kListHelp =
    "usage: qnpack list BUNDLE\n"
    "\n"
    "Prints the file index of BUNDLE: position, type, id, length, offset and name.\n";

const char* typeName(long type) {
    for (const TypeOption& t : kTypes) {
        if (t.type == type) return t.name;
    }
    return "unknown";
}

SString baseName(const SString& path) {
    size_t slash = path.rfind('/');
    return slash == SString::npos ? path : path.substr(slash + 1);
}

// The architectures a stub is built for: the name --arch takes, other names for it, and
// the machine number in an ELF header.
struct Architecture {
    const char* name;
    const char* aliases[2];
    unsigned elfMachine;
};

const Architecture kArchitectures[] = {
    {"x86-64", {"x86_64", "amd64"}, 62},
    {"arm64", {"aarch64", nullptr}, 183},
};

const Architecture* findArchitecture(const SString& name) {
    for (const Architecture& a : kArchitectures) {
        if (name == a.name) return &a;
        for (const char* alias : a.aliases) {
            if (alias && name == alias) return &a;
        }
    }
    return nullptr;
}

// The architecture qnpack itself was built for, whose stub sits beside it.
const char* ownArchitecture() {
#if defined(__x86_64__)
    return "x86-64";
#elif defined(__aarch64__)
    return "arm64";
#else
    return "";
#endif
}

// The stub for `arch` next to the running qnpack: qnlaunch for this machine, ARCH/qnlaunch
// for another.
SString defaultStub(const char* argv0, const SString& arch) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    SString path = n > 0 ? SString(self, static_cast<size_t>(n)) : SString(argv0 ? argv0 : "");
    size_t slash = path.rfind('/');
    SString dir = slash == SString::npos ? SString(".") : path.substr(0, slash);
    return arch == ownArchitecture() ? dir + "/qnlaunch" : dir + "/" + arch + "/qnlaunch";
}

const unsigned char kElfMagic[] = {0x7f, 'E', 'L', 'F'};

// The ELF machine number of the program at `path`; 0 when it is no ELF file.
unsigned elfMachine(const SString& path) {
    StdioFile file = PlatformImpl::openFile(path, "rb");
    unsigned char header[20] = {};
    size_t n = file ? fread(header, 1, sizeof header, file.get()) : 0;
    if (n != sizeof header || memcmp(header, kElfMagic, sizeof kElfMagic) != 0) return 0;
    return header[5] == 2 ? (header[18] << 8) | header[19] : header[18] | (header[19] << 8);
}

// Splits "ID=PATH"; false (path = value) when the value does not start with a number and "=".
bool splitId(const SString& value, long& id, SString& path) {
    size_t eq = value.find('=');
    if (eq == SString::npos || eq == 0) return false;
    size_t digits = value[0] == '-' ? 1 : 0;
    if (digits == eq) return false;
    for (size_t i = digits; i < eq; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
    }
    errno = 0;
    long long parsed = strtoll(value.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
    id = static_cast<long>(parsed);
    path = value.substr(eq + 1);
    return true;
}

bool hasAppendedData(const SString& path) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char tail[4] = {0, 0, 0, 0};
    bool result = fseek(f, -4, SEEK_END) == 0 && fread(tail, 1, 4, f) == 4 && tail[0] == 0xCA &&
                  tail[1] == 0x82 && tail[2] == 0xCA && tail[3] == 0x82;
    fclose(f);
    return result;
}

int create(int argc, char** argv, FILE* out, FILE* err) {
    PackRequest request;
    struct Pending {
        long type;
        bool hasId;
        long id;
        SString path;
    };
    std::vector<Pending> pending;
    for (int i = 2; i < argc; ++i) {
        SString arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            fputs(kCreateHelp, out);
            return 0;
        }
        if (i + 1 >= argc) {
            fprintf(err, "qnpack: %s needs a value\n", arg.c_str());
            return 1;
        }
        SString value = argv[++i];
        if (arg == "-o") {
            request.output = value;
            continue;
        }
        if (arg == "--stub") {
            request.stub = value;
            continue;
        }
        if (arg == "--arch") {
            const Architecture* arch = findArchitecture(value);
            if (!arch) {
                fprintf(err, "qnpack: unknown architecture %s (arm64 or x86-64)\n", value.c_str());
                return 1;
            }
            request.arch = arch->name;
            continue;
        }
        const TypeOption* option = nullptr;
        for (const TypeOption& t : kTypes) {
            if (arg == t.option) option = &t;
        }
        if (!option) {
            fprintf(err, "qnpack: unknown option %s\n", arg.c_str());
            return 1;
        }
        Pending p{option->type, false, 0, value};
        p.hasId = splitId(value, p.id, p.path);
        if (!p.hasId) p.path = value;
        pending.push_back(p);
    }
    if (request.output.empty()) {
        fputs("qnpack: create needs -o OUT\n", err);
        return 1;
    }
    if (request.stub.empty()) {
        if (request.arch.empty()) request.arch = ownArchitecture();
        request.stub = defaultStub(argv[0], request.arch);
    }

    // Explicit ids first; the others take 1, 2, 3 ... skipping those already taken.
    std::set<long> taken;
    for (const Pending& p : pending) {
        if (p.hasId) taken.insert(p.id);
    }
    long next = 1;
    for (const Pending& p : pending) {
        BundleFile file;
        file.type = p.type;
        file.sourcePath = p.path;
        file.name = baseName(p.path);
        if (p.hasId) {
            file.id = p.id;
        } else {
            while (taken.count(next)) ++next;
            file.id = next;
            taken.insert(next);
        }
        request.files.push_back(file);
    }

    std::vector<SString> problems = checkRequest(request);
    if (!problems.empty()) {
        for (const SString& problem : problems) fprintf(err, "qnpack: %s\n", problem.c_str());
        fprintf(err, "qnpack: %s not written\n", request.output.c_str());
        return 1;
    }
    try {
        BundleWriter::write(request.stub, request.files, request.output);
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s\n", e.getMessage().c_str());
        return 1;
    }
    return 0;
}

int list(int argc, char** argv, FILE* out, FILE* err) {
    if (argc >= 3 && (strcmp(argv[2], "--help") == 0 || strcmp(argv[2], "-h") == 0)) {
        fputs(kListHelp, out);
        return 0;
    }
    if (argc != 3) {
        fputs("qnpack: list needs exactly one BUNDLE\n", err);
        return 1;
    }
    SString bundle = argv[2];
    if (access(bundle.c_str(), R_OK) != 0) {
        fprintf(err, "qnpack: %s: %s\n", bundle.c_str(), strerror(errno));
        return 1;
    }
    if (!hasAppendedData(bundle)) {
        fprintf(out, "%s carries no appended data\n", bundle.c_str());
        return 0;
    }
    Launcher::m_launcherFileName = bundle;
    LauncherInputFiles files;
    try {
        files.load(false);
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s: %s\n", bundle.c_str(), e.getMessage().c_str());
        return 1;
    }
    fprintf(out, "%-4s %-18s %11s %11s %11s  %s\n", "POS", "TYPE", "ID", "LENGTH", "OFFSET",
            "NAME");
    for (long i = 0; i < files.getFileCount(); ++i) {
        const FileIndexEntry* e = files.getFileAt(i);
        fprintf(out, "%-4ld %-18s %11ld %11ld %11ld  %s\n", i, typeName(e->m_type), e->m_id,
                e->m_length, e->m_offset, e->m_name.c_str());
    }
    return 0;
}

}  // namespace

std::vector<SString> checkRequest(const PackRequest& request) {
    std::vector<SString> problems;
    std::set<SString> names;
    std::set<long> ids;
    for (const BundleFile& file : request.files) {
        if (file.name.empty() || file.name == "." || file.name == ".." ||
            file.name.find('/') != SString::npos) {
            problems.push_back(file.sourcePath + ": \"" + file.name +
                               "\" cannot be the name of an embedded file");
        } else if (static_cast<long>(file.name.size()) > BundleWriter::kMaxNameLength) {
            problems.push_back(file.sourcePath + ": the name is longer than 32767 bytes");
        } else if (!names.insert(file.name).second) {
            problems.push_back(file.sourcePath + ": another file is already embedded as \"" +
                               file.name + "\"; extraction would overwrite one with the other");
        }
        if (!ids.insert(file.id).second) {
            problems.push_back(file.sourcePath + ": id " + convertToString(file.id) +
                               " is used twice");
        }
        if (access(file.sourcePath.c_str(), R_OK) != 0) {
            problems.push_back(file.sourcePath + ": " + strerror(errno));
            continue;
        }
        if (file.type > FILE_TYPE_LAUNCH_SCRIPT) continue;
        TagFile tagFile;
        if (!loadForCheck(file.sourcePath, tagFile, problems)) continue;
        if (file.type == FILE_TYPE_INSTRUCTIONS)
            checkInstructions(file.sourcePath, tagFile, problems);
        if (file.type == FILE_TYPE_LAUNCH_SCRIPT)
            checkLaunchScript(file.sourcePath, tagFile, problems);
        if (file.type == FILE_TYPE_JVM) checkJVMDescriptor(file.sourcePath, tagFile, problems);
    }
    // Reading a file while the output grows over it would never end.
    struct stat out;
    if (stat(request.output.c_str(), &out) == 0) {
        auto sameAsOutput = [&](const SString& path) {
            struct stat in;
            return stat(path.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
                   in.st_ino == out.st_ino;
        };
        if (sameAsOutput(request.stub)) problems.push_back(request.stub + ": is also the output");
        for (const BundleFile& file : request.files) {
            if (sameAsOutput(file.sourcePath)) {
                problems.push_back(file.sourcePath + ": is also the output");
            }
        }
    }
    if (access(request.stub.c_str(), R_OK) != 0) {
        problems.push_back(request.stub + ": " + strerror(errno));
    } else if (hasAppendedData(request.stub)) {
        problems.push_back(request.stub + ": the stub already carries appended data");
    } else if (const Architecture* wanted = findArchitecture(request.arch)) {
        // A bundle for one machine with the stub of another would not start there.
        unsigned machine = elfMachine(request.stub);
        for (const Architecture& a : kArchitectures) {
            if (machine == a.elfMachine && &a != wanted) {
                problems.push_back(request.stub + ": the stub is for " + a.name + ", not " +
                                   wanted->name);
            }
        }
    }
    return problems;
}

int qnpackMain(int argc, char** argv, FILE* out, FILE* err) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(kUsage, argc < 2 ? err : out);
        return argc < 2 ? 1 : 0;
    }
    SString command = argv[1];
    if (command == "create") return create(argc, argv, out, err);
    if (command == "list") return list(argc, argv, out, err);
    fprintf(err, "qnpack: unknown command %s\n%s", command.c_str(), kUsage);
    return 1;
}
