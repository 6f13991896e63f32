// "qnpack list BUNDLE": prints a bundle's file index.

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/LauncherException.h"
#include "inputfiles/Bundle.h"
#include "platform/PlatformImpl.h"
#include "platform/os/SystemError.h"
#include "qnpack/Commands.h"
#include "qnpack/HelpTexts.h"
#include "qnpack/StubFile.h"

int listCommand(int argc, char** argv, FILE* out, FILE* err) {
    if (argc >= 3 && (strcmp(argv[2], "--help") == 0 || strcmp(argv[2], "-h") == 0)) {
        fputs(kListHelpText, out);
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
    // The bundle is read by the launcher's own reader, as an object of its own.
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
    const FileIndex& index = files->index();
    for (long i = 0; i < index.size(); ++i) {
        const FileIndexEntry* e = index.at(i);
        fprintf(out, "%-4ld %-18s %11ld %11ld %11ld  %s\n", i, typeName(e->m_type), e->m_id,
                e->m_length, e->m_offset, e->m_name.c_str());
    }
    return 0;
}
