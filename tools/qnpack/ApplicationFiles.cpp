#include "qnpack/ApplicationFiles.h"

#include <cerrno>
#include <map>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "base/StdioFile.h"
#include "inputfiles/FileIndexEntry.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"
#include "qnpack/AppBundle.h"
#include "qnpack/Companions.h"
#include "qnpack/JarFile.h"
#include "qnpack/JarRewriter.h"
#include "qnpack/RuntimeArchive.h"

namespace {

const char* const kWithoutClassPath = ", its copy without Class-Path";

// Whether the file at `path` is kept as it is (init, which never overwrites).
bool keptAsItIs(const Placement& placement, const SString& path, FILE* err) {
    if (!placement.keepExisting || !PlatformImpl::fileExists(path)) return false;
    fprintf(err, "qnpack: %s exists; init keeps it as it is (remove it to have it made anew)\n",
            path.c_str());
    return true;
}

// Collects the generated files in order; each text file is written, or kept.
class Generated {
public:
    Generated(const PackCommand& command, const Placement& placement, FILE* err)
        : m_command(command), m_placement(placement), m_err(err) {}

    bool text(long type, const SString& name, const SString& content, const SString& origin) {
        if (hasFileOfType(m_command.files, type)) return true;
        const SString path = m_placement.file(name);
        PendingFile file;
        file.type = type;
        file.path = path;
        file.origin = origin;
        m_files.push_back(file);
        return kept(path) || writeText(path, content, m_err);
    }
    void add(long type, const SString& path, const SString& origin) {
        PendingFile file;
        file.type = type;
        file.path = path;
        file.origin = origin;
        m_files.push_back(file);
    }
    // Adds a jar; one whose manifest has a Class-Path goes in as a copy without it.
    bool jar(long type, const SString& path, const SString& origin, bool rewrite) {
        PendingFile file;
        file.type = type;
        file.path = path;
        file.origin = origin;
        if (rewrite) {
            file.source = path;
            file.origin += kWithoutClassPath;
            file.path = m_placement.jar(baseName(path), m_jarCount++);
            if (file.path.empty()) return false;
            if (!kept(file.path)) {
                try {
                    writeJarWithoutClassPath(JarFile::open(path), file.path);
                } catch (const LauncherException& e) {
                    fprintf(m_err, "qnpack: %s\n", e.getMessage().c_str());
                    return false;
                }
            }
        }
        m_files.push_back(file);
        return true;
    }
    std::vector<PendingFile>& files() { return m_files; }

private:
    bool kept(const SString& path) { return keptAsItIs(m_placement, path, m_err); }

    const PackCommand& m_command;
    const Placement& m_placement;
    FILE* m_err;
    std::vector<PendingFile> m_files;
    size_t m_jarCount = 0;
};

// Two jars of one name would overwrite each other when extracted.
bool refuseSameNames(const SString& mainJar, const std::vector<ClassPathJar>& jars, FILE* err) {
    std::map<SString, SString> byName = {{baseName(mainJar), mainJar}};
    bool clash = false;
    for (const ClassPathJar& jar : jars) {
        if (jar.reference) continue;
        auto inserted = byName.emplace(baseName(jar.path), jar.path);
        if (inserted.second) continue;
        fprintf(err,
                "qnpack: %s (%s): another jar is already embedded as \"%s\" (%s); extraction "
                "would overwrite one with the other\n",
                jar.path.c_str(), jar.origin.c_str(), baseName(jar.path).c_str(),
                inserted.first->second.c_str());
        clash = true;
    }
    return !clash;
}

// Adds the archive of the runtime that --runtime names, written first (init keeps one that
// is there), unless an archive is given by hand.
bool addRuntimeArchive(PackCommand& command, const Placement& placement, FILE* err) {
    if (command.app.runtime.empty() || hasFileOfType(command.files, FILE_TYPE_RUNTIME)) {
        return true;
    }
    const SString archive = placement.file("runtime.tar");
    if (!keptAsItIs(placement, archive, err)) {
        try {
            writeRuntimeArchive(command.app.runtime, archive);
        } catch (const LauncherException& e) {
            fprintf(err, "qnpack: %s\n", e.getMessage().c_str());
            return false;
        }
    }
    PendingFile file;
    file.type = FILE_TYPE_RUNTIME;
    file.path = archive;
    file.origin = "generated from --runtime " + command.app.runtime;
    command.files.push_back(file);
    return true;
}

}  // namespace

bool writeText(const SString& path, const SString& text, FILE* err) {
    StdioFile file = PlatformImpl::openFile(path, "w");
    if (!file || fwrite(text.data(), 1, text.size(), file.get()) != text.size() || !file.close()) {
        fprintf(err, "%s\n", systemErrorText("qnpack: " + path + ": ", errno).c_str());
        return false;
    }
    return true;
}

bool addApplicationFiles(PackCommand& command, const char* argv0, const Placement& placement,
                         FILE* err) {
    AppBundle app;
    command.app.runtimeArchive = hasFileOfType(command.files, FILE_TYPE_RUNTIME);
    try {
        app = generateAppBundle(command.app);
    } catch (const LauncherException& e) {
        fprintf(err, "qnpack: %s\n", e.getMessage().c_str());
        return false;
    }
    for (const SString& warning : app.warnings)
        fprintf(err, "qnpack: warning: %s\n", warning.c_str());
    for (const SString& problem : app.problems) fprintf(err, "qnpack: %s\n", problem.c_str());
    if (!app.problems.empty() || !refuseSameNames(command.app.mainJar, app.classPath, err)) {
        return false;
    }
    const SString packerDir = packerDirectory(argv0);
    Generated generated(command, placement, err);
    if (!generated.text(FILE_TYPE_INSTRUCTIONS, "instructions.tag", app.instructions,
                        "generated") ||
        !generated.text(FILE_TYPE_LAUNCH_SCRIPT, "launch.tag", app.launchScript, "generated")) {
        return false;
    }
    if (!hasFileOfType(command.files, FILE_TYPE_JVM)) {
        // A tree that ships descriptors of its own (an installed qnlaunch) provides them.
        Companion shipped =
            app.shippedDescriptor ? findDescriptor(packerDir, app.descriptorName) : Companion();
        if (!shipped.path.empty()) {
            generated.add(FILE_TYPE_JVM, shipped.path, "the shipped descriptor");
        } else if (!generated.text(FILE_TYPE_JVM, app.descriptorName, app.descriptor,
                                   "generated")) {
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
        generated.add(FILE_TYPE_VERIFY_ARCHIVE, verifier.path, "the verifier");
    }
    // A signed jar keeps its manifest: its signature covers the main attributes.
    if (!hasFileOfType(command.files, FILE_TYPE_APPLICATION_ARCHIVE) &&
        !generated.jar(FILE_TYPE_APPLICATION_ARCHIVE, command.app.mainJar, "--main-jar",
                       app.mainJarHasClassPath && !app.mainJarSigned)) {
        return false;
    }
    for (const ClassPathJar& jar : app.classPath) {
        if (jar.reference) {
            command.references.push_back({jar.path, jar.origin});
        } else if (!generated.jar(FILE_TYPE_CLASSPATH_ARCHIVE, jar.path, jar.origin,
                                  jar.hasClassPath && !jar.isSigned)) {
            return false;
        }
    }
    command.files.insert(command.files.begin(), generated.files().begin(), generated.files().end());
    return addRuntimeArchive(command, placement, err);
}
