#include "qnpack/AppBundle.h"

#include <map>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "jvm/JavaVersion.h"
#include "platform/PlatformImpl.h"
#include "platform/ShellWords.h"
#include "qnpack/JarFile.h"

namespace {

// The places JDKs live, for every Java version alike: the user's choice first, then the
// distributions' directories and the per-user installs, newest first, and last the java
// on the PATH. The descriptors shipped in descriptors/ are this text.
const char* const kPathHints[] = {
    "#JAVA_HOME#",
    "usr/lib/jvm/*",
    "usr/lib64/jvm/*",
    "opt/java/openjdk",
    "opt/*",
    "usr/local/*",
    "#HOME#/.sdkman/candidates/java/*",
    "#HOME#/.jdks/*",
    "#HOME#/.asdf/installs/java/*",
    "#HOME#/.local/share/mise/installs/java/*",
    "#HOME#/.gradle/jdks/*",
    "%JAVA_ON_PATH%",
};

SString trimmed(const SString& text) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == SString::npos) return SString();
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

// The directory of `path`, "." for a name in the current directory.
SString directoryOf(const SString& path) {
    const SString directory = dirName(path);
    return directory.empty() ? SString(".") : directory;
}

bool plainShellChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           SString("-_./=:,+").find(c) != SString::npos;
}

// The Class-Path entries of the manifest as files: relative URLs resolved against the
// jar's directory, as `java -jar` does. Entries that are not there are skipped (so does
// `java -jar`), with a warning.
std::vector<SString> manifestClassPath(const SString& jarPath, const SString& value,
                                       std::vector<SString>& warnings) {
    std::vector<SString> jars;
    for (SString entry : splitClassPath(value)) {
        if (entry.compare(0, 5, "file:") == 0) entry = entry.substr(5);
        if (entry.find("://") != SString::npos) {
            throw LauncherException(jarPath + ": Class-Path entry " + entry +
                                    " is not a local file; give the class path with "
                                    "--class-path JAR...");
        }
        const SString path = entry[0] == '/' ? entry : directoryOf(jarPath) + "/" + entry;
        if (!entry.empty() && entry.back() == '/') {
            throw LauncherException(jarPath + ": Class-Path entry " + entry +
                                    " is a directory, which cannot be embedded; pack it into a "
                                    "jar and give the class path with --class-path JAR...");
        }
        if (!PlatformImpl::isReadable(path)) {
            warnings.push_back(jarPath + ": Class-Path entry " + entry + " is not at " + path +
                               "; it is left out, as java -jar would do");
            continue;
        }
        jars.push_back(path);
    }
    return jars;
}

// The Java feature release the main class needs, from its class file in the main jar or
// the class path; 0 when it is in none of them.
int mainClassJavaVersion(const JarFile& mainJar, const std::vector<SString>& classPath,
                         const SString& mainClass) {
    SString entryName = mainClass;
    for (char& c : entryName) {
        if (c == '.') c = '/';
    }
    entryName += ".class";
    if (const JarEntry* entry = mainJar.find(entryName)) {
        return classFileJavaVersion(mainJar.read(*entry));
    }
    for (const SString& path : classPath) {
        JarFile jar = JarFile::open(path);
        if (const JarEntry* entry = jar.find(entryName)) {
            return classFileJavaVersion(jar.read(*entry));
        }
    }
    return 0;
}

// JVM options for the manifest attributes that only `java -jar` honours: the bundle runs
// the main class from a class path, so they are passed on the command line instead.
std::vector<SString> manifestJavaOptions(const std::map<SString, SString>& manifest) {
    std::vector<SString> options;
    const std::pair<const char*, const char*> perPackage[] = {{"add-opens", "--add-opens="},
                                                              {"add-exports", "--add-exports="}};
    for (const auto& attribute : perPackage) {
        auto found = manifest.find(attribute.first);
        if (found == manifest.end()) continue;
        for (const SString& package : splitClassPath(found->second)) {
            options.push_back(attribute.second + package + "=ALL-UNNAMED");
        }
    }
    auto nativeAccess = manifest.find("enable-native-access");
    if (nativeAccess != manifest.end() && trimmed(nativeAccess->second) == "ALL-UNNAMED") {
        options.push_back("--enable-native-access=ALL-UNNAMED");
    }
    return options;
}

// The launcher expands %...%, @...@ and #...# in the whole command, and a doubled
// delimiter only stands for itself when no other one follows; so these characters cannot
// be passed through the command reliably.
void refuseMacroCharacters(const char* what, const SString& text) {
    if (text.find_first_of("%@#") == SString::npos) return;
    throw LauncherException(SString(what) + " " + text +
                            ": the characters % @ # would be read as launch-script macros; "
                            "write the option without them, or in a hand-written launch "
                            "script (qnpack init)");
}

SString launchScriptText(const AppOptions& options, const AppBundle& app,
                         const std::vector<SString>& javaOptions) {
    refuseMacroCharacters("--main-class", app.mainClass);
    for (const SString& option : javaOptions) refuseMacroCharacters("--java-option", option);
    SString command = "\"@JVM_HOME@/@JVM_EXE@\"";
    for (const SString& option : javaOptions) command += " " + launchCommandWord(option);
    command +=
        " %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() %CP%() " + launchCommandWord(app.mainClass);
    SString text = "DESC: " + tagValueText(options.name) + "\n";
    // A command-line tool keeps standard output for the application; a GUI application
    // shows the status display while the JVM is searched.
    text += options.gui ? "QUIET: 0\n" : "QUIET: 1\n";
    text += "DISPLAY_CONSOLE: 1\n";
    text += "AUTO_SET_WORKING_DIR: 0\n";
    // Later runs start from a class-data archive kept in the per-user cache.
    text += "CLASS_DATA: 1\n";
    text += "COMMAND: " + tagValueText(command) + "\n";
    text += "ARCHIVE: \"\"\"%APPLICATION_ARCHIVE%()\"\"\"\n";
    return text;
}

// Finds an installed JVM; with a bundled runtime, installs that when none fits. Without a
// JVM the run ends with status 1 after the report of what was tried.
SString instructionsText(bool gui, bool runtime) {
    SString text = "INSTRUCTIONS:\n";
    if (gui) text += "  INITIALIZE_UI\n";
    const SString show = gui ? "1" : "0";
    if (!runtime) {
        text += "  FIND_JVM " + show + " 1\n";
        text += "  JMP0 @N1@ nojvm\n";
        text += "  LAUNCH @S2@ 0\n";
        text += "  GOTO done\n";
    } else {
        text += "  FIND_JVM " + show + " 0\n";
        text += "  JMP0 @N1@ install\n";
        text += "  LAUNCH @S2@ 0\n";
        text += "  GOTO done\n";
        text += "  :install\n";
        text += "  INSTALL_JVM " + show + "\n";
        text += "  JMP0 @N1@ nojvm\n";
        text += "  LAUNCH @S1@ 0\n";
        text += "  GOTO done\n";
    }
    text += "  :nojvm\n";
    // After a failed install, the search again, for its report.
    if (runtime) text += "  FIND_JVM " + show + " 1\n";
    text +=
        "  EXIT 1\n"
        "  :done\n"
        "/:\n";
    return text;
}

}  // namespace

SString launchCommandWord(const SString& text) {
    bool plain = !text.empty();
    for (char c : text) plain = plain && plainShellChar(c);
    return plain ? text : "\"" + escapeForShellQuotes(text) + "\"";
}

SString tagValueText(const SString& value) {
    const bool plain = !value.empty() && value == trimmed(value) && value[0] != '"';
    if (plain) return value;
    SString quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

SString jvmDescriptorFileName(const SString& constraint) {
    return "java-" + constraint + ".jvm";
}

SString jvmDescriptorText(const SString& constraint) {
    SString desc;
    const size_t dots = constraint.find("..");
    if (dots != SString::npos) {
        desc = "Java " + constraint.substr(0, dots) + " to " + constraint.substr(dots + 2);
    } else {
        desc = "Java " + constraint.substr(0, constraint.size() - 1) + " or newer";
    }
    SString text = "DESC: " + desc + "\n";
    text +=
        "JVM_EXE: bin/java\n"
        "CLASSPATH: \"-cp \"\n"
        "CLASSPATH_SEPARATOR: :\n"
        "SYSTEM: -D\n"
        "SYSTEM_SEPARATOR: =\n";
    text += "JVM_PROPERTIES: java.version=" + constraint + "\n";
    text += "PATH_HINT:\n";
    for (const char* hint : kPathHints) text += SString("  ") + hint + "\n";
    text += "/:\n";
    return text;
}

SString applicationName(const AppOptions& options) {
    if (!options.name.empty()) return options.name;
    SString name = baseName(options.mainJar);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".jar") == 0)
        name.resize(name.size() - 4);
    return name;
}

AppBundle generateAppBundle(const AppOptions& given) {
    AppOptions options = given;
    AppBundle app;
    if (options.name.find_first_of("\r\n") != SString::npos) {
        throw LauncherException("--name " + options.name + ": a name is one line");
    }
    options.name = applicationName(options);
    const JarFile jar = JarFile::open(options.mainJar);
    const std::map<SString, SString> manifest = readManifest(jar);

    app.mainClass = trimmed(options.mainClass);
    if (app.mainClass.empty()) {
        auto found = manifest.find("main-class");
        if (found != manifest.end()) app.mainClass = trimmed(found->second);
    }
    if (app.mainClass.empty()) {
        throw LauncherException(options.mainJar +
                                ": the manifest names no Main-Class; give the class that holds "
                                "main with --main-class CLASS");
    }

    if (options.classPathGiven) {
        app.classPath = options.classPath;
    } else {
        auto found = manifest.find("class-path");
        if (found != manifest.end()) {
            app.classPath = manifestClassPath(options.mainJar, found->second, app.warnings);
        }
    }

    app.javaConstraint = options.java;
    if (app.javaConstraint.empty()) {
        const int version = mainClassJavaVersion(jar, app.classPath, app.mainClass);
        if (version == 0) {
            throw LauncherException(options.mainJar + ": the main class " + app.mainClass +
                                    " is neither in this jar nor on its class path; check "
                                    "Main-Class or give --main-class CLASS, or give --java N+");
        }
        // The verifier itself needs Java 8, so older class files still ask for 8.
        app.javaConstraint = std::to_string(version < 8 ? 8 : version) + "+";
    } else if (!VersionConstraint::parse(app.javaConstraint)) {
        SString reason = versionConstraintError(app.javaConstraint);
        throw LauncherException("--java " + app.javaConstraint + ": " +
                                (reason.empty() ? SString("not a version constraint") : reason) +
                                "; write N+ (N or newer, as 17+) or N..M (as 11..17)");
    }
    app.descriptorName = jvmDescriptorFileName(app.javaConstraint);

    std::vector<SString> javaOptions = manifestJavaOptions(manifest);
    javaOptions.insert(javaOptions.end(), options.javaOptions.begin(), options.javaOptions.end());
    app.launchScript = launchScriptText(options, app, javaOptions);
    app.instructions = instructionsText(options.gui, !options.runtime.empty());
    app.descriptor = jvmDescriptorText(app.javaConstraint);
    return app;
}
