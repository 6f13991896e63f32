#include "launch/ArchiveLog.h"

#include <signal.h>
#include <sys/wait.h>

namespace {

// The lines of a refusal, as both JVM families log them at info level (warning level
// leaves out what 17 says against a static archive).
const char* const kRefusals[] = {
    "Unable to use shared archive",
    "Unable to map shared spaces",
    "shared class paths mismatch",
    "_version expected",
    "Not a valid shared archive",
    "has been truncated",
    "does not match",
    "Cannot handle shared archive",
    "has the wrong version",
    "not the one used",
    "Checksum verification failed",
};

}  // namespace

SString archiveLogOptions(int release, const SString& logPath) {
    // Release 24 is left without the aot tag: a tag a release lacks stops the JVM at start.
    const bool aot = release >= 25;
    SString options =
        SString("-Xlog:cds=off,cds+dynamic=off,class+path=off") + (aot ? ",aot=off" : "");
    if (!logPath.empty()) {
        // filecount=0: the file is written over, never renamed aside (which a path in
        // /proc cannot be, and the JVM would say so on the terminal).
        options += SString(" -Xlog:cds=info,cds+dynamic=info,class+path=info") +
                   (aot ? ",aot=info" : "") + ":file=" + logPath + "::filecount=0";
    }
    return options;
}

bool logShowsRefusal(const SString& text) {
    for (const char* line : kRefusals) {
        if (text.find(line) != SString::npos) return true;
    }
    return false;
}

bool logShowsArchiveInUse(const SString& text) {
    return text.find("Opened ") != SString::npos && !logShowsRefusal(text);
}

bool endedByCrash(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 134;
    if (!WIFSIGNALED(status)) return false;
    const int signal = WTERMSIG(status);
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGABRT;
}
