#include "qnpack/AppBundle.h"

#include <map>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "jvm/JavaVersion.h"
#include "platform/shell/ShellWords.h"
#include "qnpack/JarFile.h"
#include "qnpack/ManifestChecks.h"

namespace {

// The places JDKs live, for every Java version alike. The administrator's choice comes
// first: JAVA_HOME, then the java on the PATH (which the alternatives system or
// default-java points at); then the distributions' directories and the tarball places,
// newest first; then the per-user installs. The descriptors shipped in descriptors/ are
// this text.
const char* const kUserChoice = "#JAVA_HOME#";
const char* const kJavaOnPath = "%JAVA_ON_PATH%";
const char* const kUsualPlaces[] = {
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
};

const char* const kConstraintAdvice =
    "not a version constraint; write N+ (N or newer) or N..M (N up to M), e.g. 17+ or 11..17";

SString trimmed(const SString& text) {
    const size_t start = text.find_first_not_of(" \t\r\n");
    if (start == SString::npos) return SString();
    return text.substr(start, text.find_last_not_of(" \t\r\n") - start + 1);
}

bool plainShellChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           SString("-_./=:,+").find(c) != SString::npos;
}

// The name of the class file of `mainClass` in a jar.
SString classEntryName(const SString& mainClass) {
    SString entryName = mainClass;
    for (char& c : entryName) {
        if (c == '.') c = '/';
    }
    return entryName + ".class";
}

// The manifest attribute `name` of `manifest`, when it is there.
const SString* attribute(const std::map<SString, SString>& manifest, const char* name) {
    auto found = manifest.find(name);
    return found == manifest.end() ? nullptr : &found->second;
}

// Checks the attributes that only `java -jar` honours and returns their JVM options: the
// bundle runs the main class from a class path, so they go on the command line instead.
std::vector<SString> manifestJavaOptions(const SString& jar,
                                         const std::map<SString, SString>& manifest,
                                         std::vector<SString>& problems) {
    std::vector<SString> options;
    const std::pair<const char*, const char*> perPackage[] = {{"add-opens", "Add-Opens"},
                                                              {"add-exports", "Add-Exports"}};
    for (const auto& name : perPackage) {
        const SString* value = attribute(manifest, name.first);
        if (!value) continue;
        const SString problem = modulePackagesProblem(*value);
        if (!problem.empty()) {
            problems.push_back(jar + ": " + name.second + ": " + shownValue(*value) + ": " +
                               problem);
            continue;
        }
        for (const SString& pair : blankSeparated(*value)) {
            options.push_back(SString("--") + name.first + "=" + pair + "=ALL-UNNAMED");
        }
    }
    if (const SString* value = attribute(manifest, "enable-native-access")) {
        const SString problem = moduleListProblem(*value);
        if (!problem.empty()) {
            problems.push_back(jar + ": Enable-Native-Access: " + shownValue(*value) + ": " +
                               problem);
        } else {
            SString modules;
            for (const SString& module : moduleList(*value)) {
                modules += (modules.empty() ? "" : ",") + module;
            }
            options.push_back("--enable-native-access=" + modules);
        }
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
    for (const SString& option : javaOptions) refuseMacroCharacters("--java-option", option);
    SString command = "\"@JVM_HOME@/@JVM_EXE@\"";
    for (const SString& option : javaOptions) command += " " + launchCommandWord(option);
    // Options from the environment come after the packer's, so a user can change those; the
    // runtime files beside the bundle, which an administrator puts there, come last and win.
    const SString variable = optionsVariableName(options);
    command += " %ENV_OPTIONS%(\"JAVA_OPTS\"";
    if (variable != "JAVA_OPTS") command += ", \"" + variable + "\"";
    command += ")";
    command +=
        " %RUNTIME_JAVAARGS%() %RUNTIME_SYSTEMPROP%() %CP%() " + launchCommandWord(app.mainClass);
    SString text = "DESC: " + tagValueText(options.name) + "\n";
    // A command-line tool keeps standard output for the application; a GUI application
    // shows the status display while the JVM is searched.
    text += options.gui ? "QUIET: 0\n" : "QUIET: 1\n";
    text += "DISPLAY_CONSOLE: 1\n";
    text += "AUTO_SET_WORKING_DIR: 0\n";
    // Launcher options stop at the application's first argument, which is the
    // application's with everything after it.
    text += "LAUNCHER_OPTIONS_FIRST: 1\n";
    // Later runs start from a class-data archive kept in the per-user cache.
    text += "CLASS_DATA: 1\n";
    text += "COMMAND: " + tagValueText(command) + "\n";
    text += "ARCHIVE: \"\"\"%APPLICATION_ARCHIVE%()\"\"\"\n";
    // System jars stay where they are; the launcher puts them on the class path after the
    // embedded archives, in this order.
    SString references;
    for (const ClassPathJar& jar : app.classPath) {
        if (jar.reference) references += "  " + tagValueText(jar.path) + "\n";
    }
    if (!references.empty()) text += "CLASSPATH_REFERENCES:\n" + references + "/:\n";
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

// The main class, from the option or the manifest, checked; empty with a problem added
// when it is no class name.
SString checkedMainClass(const AppOptions& options, const std::map<SString, SString>& manifest,
                         std::vector<SString>& problems) {
    SString where = "--main-class";
    SString mainClass = trimmed(options.mainClass);
    if (mainClass.empty()) {
        if (const SString* value = attribute(manifest, "main-class")) {
            mainClass = trimmed(*value);
            where = options.mainJar + ": Main-Class:";
        }
    }
    if (mainClass.empty()) {
        throw LauncherException(options.mainJar +
                                ": the manifest names no Main-Class; give the class that holds "
                                "main with --main-class CLASS");
    }
    const SString problem = classNameProblem(mainClass);
    if (problem.empty()) return dottedClassName(mainClass);
    problems.push_back(where + " " + shownValue(mainClass) + ": not a Java class name: " + problem);
    return SString();
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

SString jvmDescriptorText(const SString& constraint, bool preferNewest) {
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
    text += SString("  ") + kUserChoice + "\n";
    if (!preferNewest) text += SString("  ") + kJavaOnPath + "\n";
    for (const char* hint : kUsualPlaces) text += SString("  ") + hint + "\n";
    if (preferNewest) text += SString("  ") + kJavaOnPath + "\n";
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

SString optionsVariableName(const AppOptions& options) {
    SString name = options.bundleName.empty() ? applicationName(options) : options.bundleName;
    for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
    }
    return name + "_OPTS";
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
    app.mainJarHasClassPath = attribute(manifest, "class-path") != nullptr;
    app.mainJarSigned = isSignedJar(jar);
    app.mainClass = checkedMainClass(options, manifest, app.problems);
    std::vector<SString> javaOptions = manifestJavaOptions(options.mainJar, manifest, app.problems);

    // The class file of the main class, in the main jar or the first jar that has it.
    const SString classEntry = classEntryName(app.mainClass);
    int mainClassVersion = 0;
    if (const JarEntry* entry = jar.find(classEntry)) {
        mainClassVersion = classFileJavaVersion(jar.read(*entry));
    }
    ClassPathRequest request;
    request.mainJar = options.mainJar;
    if (const SString* value = attribute(manifest, "class-path")) request.mainClassPath = *value;
    request.mainSigned = app.mainJarSigned;
    request.optionGiven = options.classPathGiven;
    request.optionEntries = options.classPath;
    request.systemJars = options.systemJars;
    request.systemPrefix = options.systemPrefix;
    request.onJar = [&](const ClassPathJar&, const JarFile& file) {
        if (mainClassVersion != 0 || app.mainClass.empty()) return;
        if (const JarEntry* entry = file.find(classEntry)) {
            mainClassVersion = classFileJavaVersion(file.read(*entry));
        }
    };
    ClassPath classPath = resolveClassPath(request);
    app.classPath = classPath.jars;
    app.warnings = classPath.warnings;
    app.problems.insert(app.problems.end(), classPath.problems.begin(), classPath.problems.end());
    for (const ClassPathJar& reference : app.classPath) {
        if (reference.reference && reference.path.find_first_of("\r\n") != SString::npos) {
            app.problems.push_back(shownValue(reference.path) +
                                   ": a path with a line break cannot be referenced");
        }
    }
    if (!app.problems.empty()) return app;

    app.javaConstraint = options.java;
    if (app.javaConstraint.empty()) {
        if (mainClassVersion == 0) {
            throw LauncherException(options.mainJar + ": the main class " + app.mainClass +
                                    " is neither in this jar nor on its class path; check "
                                    "Main-Class or give --main-class CLASS, or give --java N+");
        }
        // The verifier itself needs Java 8, so older class files still ask for 8.
        app.javaConstraint = std::to_string(mainClassVersion < 8 ? 8 : mainClassVersion) + "+";
    } else if (!VersionConstraint::parse(app.javaConstraint)) {
        const SString reason = versionConstraintError(app.javaConstraint);
        throw LauncherException("--java " + app.javaConstraint + ": " +
                                (reason.empty() ? SString(kConstraintAdvice) : reason));
    }
    app.descriptorName = jvmDescriptorFileName(app.javaConstraint);
    app.shippedDescriptor = !options.preferNewest;

    javaOptions.insert(javaOptions.end(), options.javaOptions.begin(), options.javaOptions.end());
    app.launchScript = launchScriptText(options, app, javaOptions);
    app.instructions =
        instructionsText(options.gui, !options.runtime.empty() || options.runtimeArchive);
    app.descriptor = jvmDescriptorText(app.javaConstraint, options.preferNewest);
    return app;
}
