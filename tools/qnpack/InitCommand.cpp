// "qnpack init DIR": writes the generated files of an application into DIR, for editing,
// and prints the create command that packs them. Files already in DIR are kept.

#include <cctype>
#include <cerrno>

#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"
#include "qnpack/AppBundle.h"
#include "qnpack/ApplicationFiles.h"
#include "qnpack/Commands.h"

namespace {

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

bool makeDirectory(const SString& dir, FILE* err) {
    if (PlatformImpl::makeDirectory(dir)) return true;
    fprintf(err, "%s\n", systemErrorText("qnpack: " + dir + ": ", errno).c_str());
    return false;
}

}  // namespace

int initCommand(PackCommand& command, const char* argv0, FILE* out, FILE* err) {
    const SString dir = command.output;
    if (!makeDirectory(dir, err)) return 1;
    Placement placement;
    placement.keepExisting = true;
    placement.file = [&](const SString& name) { return dir + "/" + name; };
    // Copies of jars without their Class-Path go to DIR/jars (their names differ: qnpack
    // refuses two jars of one name).
    placement.jar = [&](const SString& name, size_t) {
        return makeDirectory(dir + "/jars", err) ? dir + "/jars/" + name : SString();
    };
    if (!addApplicationFiles(command, argv0, placement, err)) return 1;
    fprintf(out, "qnpack create -o %s", shellWord(applicationName(command.app)).c_str());
    for (const PendingFile& file : command.files) {
        if (const TypeOption* option = typeOptionFor(file.type))
            fprintf(out, " \\\n  %s %s", option->option, shellWord(file.path).c_str());
    }
    fputs("\n", out);
    return 0;
}
