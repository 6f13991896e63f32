#include "qnpack/Packer.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/StdioFile.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/BundleLayout.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "platform/PlatformImpl.h"
#include "platform/SystemError.h"
#include "qnpack/AppBundle.h"
#include "qnpack/Companions.h"
#include "qnpack/PackChecks.h"
#include "qnpack/RuntimeInstaller.h"

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
    "usage: qnpack create -o OUT [--arch ARCH] --main-jar APP.jar [APP-OPTIONS...] "
    "[FILE-OPTIONS...]\n"
    "       qnpack create -o OUT [--arch ARCH] [--stub STUB] FILE-OPTIONS...\n"
    "       qnpack init DIR --main-jar APP.jar [APP-OPTIONS...]\n"
    "       qnpack list BUNDLE\n"
    "Run 'qnpack create --help' for details.\n";

const char* const kCreateHelp =
    "usage: qnpack create -o OUT [--arch ARCH] --main-jar APP.jar [APP-OPTIONS...] "
    "[FILE-OPTIONS...]\n"
    "       qnpack create -o OUT [--arch ARCH] [--stub STUB] FILE-OPTIONS...\n"
    "       qnpack init DIR --main-jar APP.jar [APP-OPTIONS...]\n"
    "\n"
    "With --main-jar, qnpack writes the instructions, the launch script and the JVM\n"
    "descriptor itself and embeds the jar, its Class-Path jars and the verifier: the\n"
    "bundle runs the application as java -jar would. 'init' writes those files into DIR\n"
    "instead and prints the create command that packs them.\n"
    "\n"
    "  --main-jar APP.jar         the application jar\n"
    "  --main-class CLASS         instead of the manifest's Main-Class\n"
    "  --class-path JAR[:JAR...]  instead of the manifest's Class-Path (may repeat)\n"
    "  --java CONSTRAINT          the Java versions accepted, as 17+ or 11..17\n"
    "                             (default: what the main class's class file needs)\n"
    "  --java-option OPT          a JVM option (may repeat)\n"
    "  --name NAME                the title (default: the jar's name)\n"
    "  --gui                      show the status display, for a GUI application\n"
    "  --runtime DIR              a JDK or jlink image, installed when no JVM fits\n"
    "  --stub STUB                the launcher stub (default: the stripped qnlaunch)\n"
    "  --arch ARCH                the stub for arm64 or x86-64 (default: this machine's):\n"
    "                             the qnlaunch beside qnpack for this machine,\n"
    "                             ARCH/qnlaunch beside qnpack for the other; with --arch,\n"
    "                             a stub for another architecture is refused\n"
    "\n"
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
    "validated, and the bundle checked for the files its instructions need; on any\n"
    "problem nothing is written and the exit status is 1.\n";

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

// Whether the file at `path` ends with a bundle's trailer; false when it cannot be read.
bool hasAppendedData(const SString& path) {
    try {
        Bundle bundle(path);
        bundle.readIndex();
        return bundle.hasAppendedData();
    } catch (const LauncherException&) {
        // A damaged index still shows there is appended data; an unreadable file does not.
        return PlatformImpl::isReadable(path) && PlatformImpl::fileSize(path) >= kTrailerSize;
    }
}

struct PendingFile {
    long type;
    bool hasId;
    long id;
    SString path;
};

// The options of "create" and "init".
struct PackCommand {
    SString output;  // -o for create, DIR for init
    SString stub;
    SString arch;
    AppOptions app;
    std::vector<PendingFile> files;
    bool help = false;
};

bool hasFileOfType(const std::vector<PendingFile>& files, long type) {
    for (const PendingFile& file : files) {
        if (file.type == type) return true;
    }
    return false;
}

// Parses argv[first...]; false after printing the problem to `err`.
bool parsePackCommand(int argc, char** argv, int first, bool init, PackCommand& command,
                      FILE* err) {
    for (int i = first; i < argc; ++i) {
        SString arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            command.help = true;
            return true;
        }
        if (arg == "--gui") {
            command.app.gui = true;
            continue;
        }
        if (init && command.output.empty() && !arg.empty() && arg[0] != '-') {
            command.output = arg;
            continue;
        }
        if (i + 1 >= argc) {
            fprintf(err, "qnpack: %s needs a value\n", arg.c_str());
            return false;
        }
        SString value = argv[++i];
        if (arg == "-o" && !init) {
            command.output = value;
        } else if (arg == "--stub" && !init) {
            command.stub = value;
        } else if (arg == "--arch" && !init) {
            const Architecture* arch = findArchitecture(value);
            if (!arch) {
                fprintf(err, "qnpack: unknown architecture %s (arm64 or x86-64)\n", value.c_str());
                return false;
            }
            command.arch = arch->name;
        } else if (arg == "--main-jar") {
            command.app.mainJar = value;
        } else if (arg == "--main-class") {
            command.app.mainClass = value;
        } else if (arg == "--class-path") {
            command.app.classPathGiven = true;
            size_t start = 0;
            while (start <= value.size()) {
                size_t end = value.find(':', start);
                if (end == SString::npos) end = value.size();
                if (end > start) command.app.classPath.push_back(value.substr(start, end - start));
                start = end + 1;
            }
        } else if (arg == "--java") {
            command.app.java = value;
        } else if (arg == "--java-option") {
            command.app.javaOptions.push_back(value);
        } else if (arg == "--name") {
            command.app.name = value;
        } else if (arg == "--runtime") {
            command.app.runtime = value;
        } else {
            const TypeOption* option = nullptr;
            for (const TypeOption& t : kTypes) {
                if (arg == t.option) option = &t;
            }
            if (!option || (init && option->type != FILE_TYPE_VERIFY_ARCHIVE)) {
                fprintf(err, "qnpack: unknown option %s\n", arg.c_str());
                return false;
            }
            PendingFile p{option->type, false, 0, value};
            p.hasId = splitId(value, p.id, p.path);
            if (!p.hasId) p.path = value;
            command.files.push_back(p);
        }
    }
    if (command.output.empty()) {
        fputs(init ? "qnpack: init needs a DIR\n" : "qnpack: create needs -o OUT\n", err);
        return false;
    }
    if (init && command.app.mainJar.empty()) {
        fputs("qnpack: init needs --main-jar APP.jar\n", err);
        return false;
    }
    return true;
}

bool writeText(const SString& path, const SString& text, FILE* err) {
    StdioFile file = PlatformImpl::openFile(path, "w");
    if (!file || fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        fflush(file.get()) != 0) {
        fprintf(err, "%s\n", systemErrorText("qnpack: " + path + ": ", errno).c_str());
        return false;
    }
    return true;
}

// A directory for generated files that is removed with what it holds.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const SString tmp = PlatformImpl::getEnvironmentVariable("TMPDIR");
        m_path =
            PlatformImpl::createUniqueDirectory((tmp.empty() ? "/tmp" : tmp) + "/qnpack.XXXXXX");
    }
    ~ScratchDirectory() {
        if (!m_path.empty()) PlatformImpl::deleteFile(m_path);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const SString& path() const { return m_path; }
    SString add(const SString& name) const { return m_path + "/" + name; }

private:
    SString m_path;
};

// Generates the application's files into `dir` (through `place`, which names each file)
// and adds them with the jars and the verifier to `command.files`, ahead of the files
// given by hand. Types given by hand are not generated.
bool addApplicationFiles(PackCommand& command, const char* argv0,
                         const std::function<SString(const SString&)>& place, FILE* err) {
    AppBundle app;
    try {
        app = generateAppBundle(command.app);
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s\n", e.getMessage().c_str());
        return false;
    }
    for (const SString& warning : app.warnings)
        fprintf(err, "qnpack: warning: %s\n", warning.c_str());
    const SString packerDir = packerDirectory(argv0);
    std::vector<PendingFile> generated;
    auto addText = [&](long type, const SString& name, const SString& text) {
        if (hasFileOfType(command.files, type)) return true;
        const SString path = place(name);
        generated.push_back({type, false, 0, path});
        return writeText(path, text, err);
    };
    if (!addText(FILE_TYPE_INSTRUCTIONS, "instructions.tag", app.instructions) ||
        !addText(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", app.launchScript)) {
        return false;
    }
    if (!hasFileOfType(command.files, FILE_TYPE_JVM)) {
        // A tree that ships descriptors of its own (an installed qnlaunch) provides them.
        Companion shipped = findDescriptor(packerDir, app.descriptorName);
        if (!shipped.path.empty()) {
            generated.push_back({FILE_TYPE_JVM, false, 0, shipped.path});
        } else if (!addText(FILE_TYPE_JVM, app.descriptorName, app.descriptor)) {
            return false;
        }
    }
    if (!hasFileOfType(command.files, FILE_TYPE_VERIFY_ARCHIVE)) {
        Companion verifier = findVerifier(packerDir);
        if (verifier.path.empty()) {
            fprintf(err, "qnpack: %s\n",
                    missingCompanionMessage("--verify-archive", "verifier archive (verify.jar)",
                                            verifier)
                        .c_str());
            return false;
        }
        generated.push_back({FILE_TYPE_VERIFY_ARCHIVE, false, 0, verifier.path});
    }
    if (!hasFileOfType(command.files, FILE_TYPE_APPLICATION_ARCHIVE)) {
        generated.push_back({FILE_TYPE_APPLICATION_ARCHIVE, false, 0, command.app.mainJar});
    }
    for (const SString& jar : app.classPath) {
        generated.push_back({FILE_TYPE_CLASSPATH_ARCHIVE, false, 0, jar});
    }
    command.files.insert(command.files.begin(), generated.begin(), generated.end());
    if (command.app.runtime.empty()) return true;
    // The runtime's descriptor comes after all others: the JVMs of the machine go first.
    try {
        const SString installer = place("install-runtime");
        BundledRuntime runtime = writeRuntimeInstaller(command.app.runtime, installer);
        const SString descriptor = place("runtime.jvm");
        if (!writeText(descriptor, runtime.descriptor, err)) return false;
        command.files.push_back({FILE_TYPE_JVM_INSTALLER, false, 0, installer});
        command.files.push_back({FILE_TYPE_JVM, false, 0, descriptor});
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s\n", e.getMessage().c_str());
        return false;
    }
    return true;
}

// Turns the pending files into the request's files: explicit ids first, the others
// take 1, 2, 3 ... skipping those already taken.
void assignIds(const std::vector<PendingFile>& pending, PackRequest& request) {
    std::set<long> taken;
    for (const PendingFile& p : pending) {
        if (p.hasId) taken.insert(p.id);
    }
    long next = 1;
    for (const PendingFile& p : pending) {
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
}

int create(int argc, char** argv, FILE* out, FILE* err) {
    PackCommand command;
    if (!parsePackCommand(argc, argv, 2, false, command, err)) return 1;
    if (command.help) {
        fputs(kCreateHelp, out);
        return 0;
    }
    PackRequest request;
    request.output = command.output;
    request.stub = command.stub;
    request.arch = command.arch;
    if (request.stub.empty()) {
        if (request.arch.empty()) request.arch = ownArchitecture();
        Companion stub = findStub(packerDirectory(argv[0]),
                                  request.arch == ownArchitecture() ? SString() : request.arch);
        if (stub.path.empty()) {
            fprintf(err, "qnpack: %s\n",
                    missingCompanionMessage("--stub", "launcher stub (qnlaunch)", stub).c_str());
            return 1;
        }
        request.stub = stub.path;
    }
    ScratchDirectory scratch;
    if (!command.app.mainJar.empty()) {
        if (scratch.path().empty()) {
            fprintf(
                err, "%s\n",
                systemErrorText("qnpack: cannot create a temporary directory: ", errno).c_str());
            return 1;
        }
        auto place = [&](const SString& name) { return scratch.add(name); };
        if (!addApplicationFiles(command, argv[0], place, err)) return 1;
    }
    assignIds(command.files, request);

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

// `text` as one shell word, for the printed command.
SString shellWord(const SString& text) {
    bool plain = !text.empty();
    for (char c : text) {
        plain = plain && (isalnum(static_cast<unsigned char>(c)) ||
                          SString("-_./=:,+@%").find(c) != SString::npos);
    }
    if (plain) return text;
    SString word = "'";
    for (char c : text) word += c == '\'' ? SString("'\\''") : SString(1, c);
    return word + "'";
}

int init(int argc, char** argv, FILE* out, FILE* err) {
    PackCommand command;
    if (!parsePackCommand(argc, argv, 2, true, command, err)) return 1;
    if (command.help) {
        fputs(kCreateHelp, out);
        return 0;
    }
    const SString dir = command.output;
    if (!PlatformImpl::makeDirectory(dir)) {
        fprintf(err, "%s\n", systemErrorText("qnpack: " + dir + ": ", errno).c_str());
        return 1;
    }
    bool exists = false;
    auto place = [&](const SString& name) {
        const SString path = dir + "/" + name;
        if (PlatformImpl::fileExists(path)) {
            fprintf(err,
                    "qnpack: %s exists; init does not overwrite edited files: remove it or "
                    "choose another DIR\n",
                    path.c_str());
            exists = true;
            return SString(dir + "/.qnpack-unused");
        }
        return path;
    };
    const bool generated = addApplicationFiles(command, argv[0], place, err);
    PlatformImpl::deleteFile(dir + "/.qnpack-unused");
    if (!generated || exists) return 1;
    fprintf(out, "qnpack create -o %s", shellWord(applicationName(command.app)).c_str());
    for (const PendingFile& file : command.files) {
        for (const TypeOption& t : kTypes) {
            if (t.type == file.type)
                fprintf(out, " \\\n  %s %s", t.option, shellWord(file.path).c_str());
        }
    }
    fputs("\n", out);
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
    if (!PlatformImpl::isReadable(bundle)) {
        fprintf(err, "%s\n", systemErrorText("qnpack: " + bundle + ": ", errno).c_str());
        return 1;
    }
    if (!hasAppendedData(bundle)) {
        fprintf(out, "%s carries no appended data\n", bundle.c_str());
        return 0;
    }
    std::unique_ptr<Bundle> files;
    try {
        files = std::make_unique<Bundle>(bundle);
        files->readIndex();
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s: %s\n", bundle.c_str(), e.getMessage().c_str());
        return 1;
    }
    fprintf(out, "%-4s %-18s %11s %11s %11s  %s\n", "POS", "TYPE", "ID", "LENGTH", "OFFSET",
            "NAME");
    for (long i = 0; i < files->index().size(); ++i) {
        const FileIndexEntry* e = files->index().at(i);
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
    BundleContents contents;
    const BundleFile* instructions = nullptr;
    for (const BundleFile& file : request.files) {
        if (file.type == FILE_TYPE_INSTRUCTIONS && !instructions) instructions = &file;
        if (file.type == FILE_TYPE_LAUNCH_SCRIPT) contents.launchScript = true;
        if (file.type == FILE_TYPE_JVM) contents.descriptor = true;
        if (file.type == FILE_TYPE_VERIFY_ARCHIVE) contents.verifier = true;
    }
    if (!instructions) {
        problems.push_back(
            "no instructions: the bundle would have nothing to run; add --instructions FILE, "
            "or let qnpack write them with --main-jar APP.jar");
    }
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
        if (!PlatformImpl::isReadable(file.sourcePath)) {
            problems.push_back(systemErrorText(file.sourcePath + ": ", errno));
            continue;
        }
        if (file.type > FILE_TYPE_LAUNCH_SCRIPT) continue;
        TagFile tagFile;
        if (!loadForCheck(file.sourcePath, tagFile, problems)) continue;
        checkQuotedValues(file.sourcePath, problems);
        if (file.type == FILE_TYPE_INSTRUCTIONS) {
            checkInstructions(file.sourcePath, tagFile, problems);
            // Only the first instructions file runs.
            if (&file == instructions)
                checkInstructionNeeds(file.sourcePath, tagFile, contents, problems);
        }
        if (file.type == FILE_TYPE_LAUNCH_SCRIPT)
            checkLaunchScript(file.sourcePath, tagFile, problems);
        if (file.type == FILE_TYPE_JVM) {
            checkJVMDescriptor(file.sourcePath, tagFile, problems);
            checkDescriptorProperties(file.sourcePath, tagFile, problems);
        }
    }
    // Reading a file while the output grows over it would never end.
    if (PlatformImpl::sameFile(request.stub, request.output)) {
        problems.push_back(request.stub + ": is also the output");
    }
    for (const BundleFile& file : request.files) {
        if (PlatformImpl::sameFile(file.sourcePath, request.output)) {
            problems.push_back(file.sourcePath + ": is also the output");
        }
    }
    if (!PlatformImpl::isReadable(request.stub)) {
        problems.push_back(systemErrorText(request.stub + ": ", errno));
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
    if (command == "init") return init(argc, argv, out, err);
    if (command == "list") return list(argc, argv, out, err);
    fprintf(err, "qnpack: unknown command %s\n%s", command.c_str(), kUsage);
    return 1;
}
