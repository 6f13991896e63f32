#include "qnpack/CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "inputfiles/FileIndexEntry.h"
#include "qnpack/Commands.h"
#include "qnpack/HelpTexts.h"
#include "qnpack/Packer.h"
#include "qnpack/StubFile.h"

namespace {

const TypeOption kTypes[] = {
    {"--instructions", "instructions", FILE_TYPE_INSTRUCTIONS},
    {"--jvm", "jvm", FILE_TYPE_JVM},
    {"--launch-script", "launch-script", FILE_TYPE_LAUNCH_SCRIPT},
    {"--classpath-archive", "classpath-archive", FILE_TYPE_CLASSPATH_ARCHIVE},
    {"--jvm-installer", "jvm-installer", FILE_TYPE_JVM_INSTALLER},
    {"--verify-archive", "verify-archive", FILE_TYPE_VERIFY_ARCHIVE},
    {"--app-archive", "app-archive", FILE_TYPE_APPLICATION_ARCHIVE},
    {"--embedded-launcher", "embedded-launcher", FILE_TYPE_EMBEDDED_LAUNCHER},
    {"--runtime-archive", "runtime", FILE_TYPE_RUNTIME},
};

// The options without a value.
const char* const kFlags[] = {"--help", "-h", "--gui", "--system-jars", "--prefer-newest"};
// The options with a value, besides the file options; the first three are create's alone.
const char* const kValueOptions[] = {
    "-o",     "--stub",        "--arch", "--main-jar", "--main-class",   "--class-path",
    "--java", "--java-option", "--name", "--runtime",  "--system-prefix"};
const size_t kCreateOnlyOptions = 3;

const TypeOption* fileOption(const SString& arg) {
    for (const TypeOption& t : kTypes) {
        if (arg == t.option) return &t;
    }
    return nullptr;
}

// The place of `arg` in kValueOptions, one past the end for a file option, and -1 when
// it is neither.
int valueOptionIndex(const SString& arg) {
    for (size_t i = 0; i < sizeof kValueOptions / sizeof *kValueOptions; ++i) {
        if (arg == kValueOptions[i]) return static_cast<int>(i);
    }
    return fileOption(arg) ? static_cast<int>(sizeof kValueOptions / sizeof *kValueOptions) : -1;
}

bool isFlag(const SString& arg) {
    for (const char* flag : kFlags) {
        if (arg == flag) return true;
    }
    return false;
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

// Adds the jars of one --class-path value, split at ":".
void addClassPath(const SString& value, AppOptions& app) {
    app.classPathGiven = true;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(':', start);
        if (end == SString::npos) end = value.size();
        if (end > start) app.classPath.push_back(value.substr(start, end - start));
        start = end + 1;
    }
}

// Takes the value of a known option; false after printing the problem.
bool takeValue(const SString& arg, const SString& value, PackCommand& command, FILE* err) {
    AppOptions& app = command.app;
    if (arg == "-o") {
        command.output = value;
    } else if (arg == "--stub") {
        command.stub = value;
    } else if (arg == "--arch") {
        const Architecture* arch = findArchitecture(value);
        if (!arch) {
            fprintf(err, "qnpack: unknown architecture %s (arm64 or x86-64)\n", value.c_str());
            return false;
        }
        command.arch = arch->name;
    } else if (arg == "--main-jar") {
        app.mainJar = value;
    } else if (arg == "--main-class") {
        app.mainClass = value;
    } else if (arg == "--class-path") {
        addClassPath(value, app);
    } else if (arg == "--java") {
        app.java = value;
    } else if (arg == "--java-option") {
        app.javaOptions.push_back(value);
    } else if (arg == "--name") {
        app.name = value;
    } else if (arg == "--runtime") {
        app.runtime = value;
    } else if (arg == "--system-prefix") {
        app.systemPrefix = value;
    } else {
        PendingFile file;
        file.type = fileOption(arg)->type;
        file.origin = arg;
        file.hasId = splitId(value, file.id, file.path);
        if (!file.hasId) file.path = value;
        command.files.push_back(file);
    }
    return true;
}

}  // namespace

const TypeOption* typeOptionFor(long type) {
    for (const TypeOption& t : kTypes) {
        if (t.type == type) return &t;
    }
    return nullptr;
}

const char* typeName(long type) {
    const TypeOption* option = typeOptionFor(type);
    return option ? option->name : "unknown";
}

bool hasFileOfType(const std::vector<PendingFile>& files, long type) {
    for (const PendingFile& file : files) {
        if (file.type == type) return true;
    }
    return false;
}

bool parsePackCommand(int argc, char** argv, int first, bool init, PackCommand& command,
                      FILE* err) {
    for (int i = first; i < argc; ++i) {
        const SString arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            command.help = true;
            return true;
        }
        if (init && command.output.empty() && !arg.empty() && arg[0] != '-') {
            command.output = arg;
            continue;
        }
        const int valueOption = valueOptionIndex(arg);
        if (valueOption < 0 && !isFlag(arg)) {
            fprintf(err, "qnpack: unknown option %s\n", arg.c_str());
            return false;
        }
        const bool createOnly =
            valueOption >= 0 && static_cast<size_t>(valueOption) < kCreateOnlyOptions;
        const TypeOption* file = fileOption(arg);
        if (init && (createOnly || (file && file->type != FILE_TYPE_VERIFY_ARCHIVE))) {
            fprintf(err, "qnpack: init does not take %s\n", arg.c_str());
            return false;
        }
        if (arg == "--gui") {
            command.app.gui = true;
        } else if (arg == "--system-jars") {
            command.app.systemJars = true;
        } else if (arg == "--prefer-newest") {
            command.app.preferNewest = true;
        } else if (i + 1 >= argc) {
            fprintf(err, "qnpack: %s needs a value\n", arg.c_str());
            return false;
        } else if (!takeValue(arg, argv[++i], command, err)) {
            return false;
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
    if (!command.app.systemPrefix.empty() && !command.app.systemJars) {
        fputs("qnpack: --system-prefix takes effect with --system-jars only; add --system-jars\n",
              err);
        return false;
    }
    return true;
}

int qnpackMain(int argc, char** argv, FILE* out, FILE* err) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
        fputs(kUsageText, argc < 2 ? err : out);
        return argc < 2 ? 1 : 0;
    }
    const SString command = argv[1];
    if (command == "list") return listCommand(argc, argv, out, err);
    if (command != "create" && command != "init") {
        fprintf(err, "qnpack: unknown command %s\n%s", command.c_str(), kUsageText);
        return 1;
    }
    const bool init = command == "init";
    PackCommand pack;
    if (!parsePackCommand(argc, argv, 2, init, pack, err)) return 1;
    if (pack.help) {
        fputs(kCreateHelpText, out);
        return 0;
    }
    return init ? initCommand(pack, argv[0], out, err) : createCommand(pack, argv[0], out, err);
}
