// "qnpack create": packs a bundle from the files given, or generated from --main-jar, and
// prints where each embedded file came from.

#include <cerrno>
#include <set>

#include "base/LauncherException.h"
#include "base/Paths.h"
#include "inputfiles/BundleWriter.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"
#include "qnpack/ApplicationFiles.h"
#include "qnpack/Commands.h"
#include "qnpack/Companions.h"
#include "qnpack/PackRequest.h"
#include "qnpack/StubFile.h"

namespace {

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

// One line per file of the bundle: "embedded NAME from SOURCE (ORIGIN)", "embedded NAME
// (generated)" for a file qnpack wrote, "referenced PATH (ORIGIN)" for a system jar.
void printProvenance(const PackCommand& command, FILE* out) {
    for (const PendingFile& file : command.files) {
        const SString name = baseName(file.path);
        const SString source = file.source.empty() ? file.path : file.source;
        if (file.origin.compare(0, 9, "generated") == 0) {
            fprintf(out, "embedded %s (%s)\n", name.c_str(), file.origin.c_str());
        } else {
            fprintf(out, "embedded %s from %s (%s)\n", name.c_str(), source.c_str(),
                    file.origin.c_str());
        }
    }
    for (const auto& reference : command.references) {
        fprintf(out, "referenced %s (%s)\n", reference.first.c_str(), reference.second.c_str());
    }
}

// The stub for the request's architecture beside qnpack; false after saying none is there.
bool findDefaultStub(PackRequest& request, const char* argv0, FILE* err) {
    if (request.arch.empty()) request.arch = ownArchitecture();
    Companion stub = findStub(packerDirectory(argv0),
                              request.arch == ownArchitecture() ? SString() : request.arch);
    if (stub.path.empty()) {
        fprintf(err, "qnpack: %s\n",
                missingCompanionMessage("--stub", "launcher stub (qnlaunch)", stub).c_str());
        return false;
    }
    request.stub = stub.path;
    return true;
}

}  // namespace

int createCommand(PackCommand& command, const char* argv0, FILE* out, FILE* err) {
    PackRequest request;
    request.output = command.output;
    request.stub = command.stub;
    request.arch = command.arch;
    if (request.stub.empty() && !findDefaultStub(request, argv0, err)) return 1;
    ScratchDirectory scratch;
    if (!command.app.mainJar.empty()) {
        if (scratch.path().empty()) {
            fprintf(
                err, "%s\n",
                systemErrorText("qnpack: cannot create a temporary directory: ", errno).c_str());
            return 1;
        }
        // The bundle's own JVM options are named after the file written.
        command.app.bundleName = baseName(command.output);
        Placement placement;
        placement.file = [&](const SString& name) { return scratch.add(name); };
        // Copies of jars keep their names, each in a directory of its own.
        placement.jar = [&](const SString& name, size_t index) {
            const SString dir = scratch.add(std::to_string(index));
            if (!PlatformImpl::makeDirectory(dir)) {
                fprintf(err, "%s\n", systemErrorText("qnpack: " + dir + ": ", errno).c_str());
                return SString();
            }
            return dir + "/" + name;
        };
        if (!addApplicationFiles(command, argv0, placement, err)) return 1;
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
    printProvenance(command, out);
    return 0;
}
