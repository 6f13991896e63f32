#include "qnpack/PackRequest.h"

#include <set>

#include "base/Numbers.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"
#include "qnpack/PackChecks.h"
#include "qnpack/RuntimeArchive.h"
#include "qnpack/StubFile.h"

namespace {

// Adds the problems of one file's name and id, in index order.
void checkNameAndId(const BundleFile& file, std::set<SString>& names, std::set<long>& ids,
                    std::vector<SString>& problems) {
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
        problems.push_back(file.sourcePath + ": id " + convertToString(file.id) + " is used twice");
    }
}

// Adds the problems of a tag file (instructions, descriptor, launch script).
void checkTagFile(const BundleFile& file, bool firstInstructions, const BundleContents& contents,
                  std::vector<SString>& problems) {
    TagFile tagFile;
    if (!loadForCheck(file.sourcePath, tagFile, problems)) return;
    checkQuotedValues(file.sourcePath, problems);
    if (file.type == FILE_TYPE_INSTRUCTIONS) {
        checkInstructions(file.sourcePath, tagFile, problems);
        // Only the first instructions file runs.
        if (firstInstructions) checkInstructionNeeds(file.sourcePath, tagFile, contents, problems);
    }
    if (file.type == FILE_TYPE_LAUNCH_SCRIPT) {
        checkLaunchScript(file.sourcePath, tagFile, problems);
        checkClasspathReferences(file.sourcePath, tagFile, problems);
    }
    if (file.type == FILE_TYPE_JVM) {
        checkJVMDescriptor(file.sourcePath, tagFile, problems);
        checkDescriptorProperties(file.sourcePath, tagFile, problems);
    }
}

// Adds the problems of the stub: unreadable, a bundle already, or for another machine.
void checkStub(const PackRequest& request, std::vector<SString>& problems) {
    if (!PlatformImpl::isReadable(request.stub)) {
        problems.push_back(systemErrorText(request.stub + ": ", errno));
        return;
    }
    if (hasAppendedData(request.stub)) {
        problems.push_back(request.stub + ": the stub already carries appended data");
        return;
    }
    const Architecture* wanted = findArchitecture(request.arch);
    if (!wanted) return;
    // A bundle for one machine with the stub of another would not start there.
    const Architecture* actual = architectureOfMachine(elfMachine(request.stub));
    if (actual && actual != wanted) {
        problems.push_back(request.stub + ": the stub is for " + actual->name + ", not " +
                           wanted->name);
    }
}

}  // namespace

std::vector<SString> checkRequest(const PackRequest& request) {
    std::vector<SString> problems;
    std::set<SString> names;
    std::set<long> ids;
    BundleContents contents;
    const BundleFile* instructions = nullptr;
    const BundleFile* runtime = nullptr;
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
        checkNameAndId(file, names, ids, problems);
        if (!PlatformImpl::isReadable(file.sourcePath)) {
            problems.push_back(systemErrorText(file.sourcePath + ": ", errno));
            continue;
        }
        if (file.type <= FILE_TYPE_LAUNCH_SCRIPT)
            checkTagFile(file, &file == instructions, contents, problems);
        if (file.type != FILE_TYPE_RUNTIME) continue;
        checkRuntimeArchive(file.sourcePath, problems);
        // INSTALL_JVM installs the first; another would only make the bundle larger.
        if (runtime) {
            problems.push_back(file.sourcePath + ": a runtime is already embedded (" +
                               runtime->sourcePath + "); only the first would be installed");
        }
        runtime = &file;
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
    checkStub(request, problems);
    return problems;
}
