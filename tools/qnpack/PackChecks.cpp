#include "qnpack/PackChecks.h"

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "inputfiles/MacroHandler.h"
#include "inputfiles/TagFile.h"
#include "launch/LaunchScript.h"
#include "launcher/Instructions.h"
#include "platform/PlatformImpl.h"

bool loadForCheck(const SString& path, TagFile& tagFile, std::vector<SString>& problems) {
    StdioFile file = PlatformImpl::openInputFile(path);
    if (!file) {
        problems.push_back(path + ": cannot be read");
        return false;
    }
    try {
        tagFile.load(file.get(), path, 0, -1);
        return true;
    } catch (const LauncherException& e) {
        const SString& message = e.getMessage();
        size_t arrow = message.find(" ==> ");
        SString detail = arrow == SString::npos ? message : message.substr(arrow + 5);
        problems.push_back(path + " line " + convertToString(tagFile.getLineNumber()) + ": " +
                           detail);
        return false;
    }
}

void checkInstructions(const SString& path, const TagFile& instructions,
                       std::vector<SString>& problems) {
    Instructions interpreter(instructions);
    for (const InstructionsException& e : interpreter.check()) {
        problems.push_back(path + " line " + convertToString(e.getLineNumber()) + ": " +
                           e.getMessage());
    }
}

namespace {

// Walks the function macros of a launch-script text without computing any value: each
// macro's name, argument list and count are checked, its arguments are checked in turn,
// and it is then replaced by nothing.
class FunctionChecker : public MacroHandler {
public:
    void processMacro(SString& text, char, size_t start, size_t& end) const override {
        const SString name = text.substr(start + 1, end - start - 1);
        if (!isLaunchScriptFunction(name)) {
            m_script.throwException(text, ("Invalid function name (" + name + ").").c_str());
        }
        if (m_inArchive && name == "CP") m_script.throwException(text, kClasspathInArchiveError);
        size_t pos = end + 1;
        StringDeque args;
        m_script.getArguments(text, pos, args);
        if (const char* countError = functionArgumentCountError(name, args.size())) {
            m_script.throwException(text, countError);
        }
        // Arguments that can end up in the command are scanned again there; a search text,
        // a tag name or a file name never is.
        const bool firstIsData =
            name == "REPLACE" || name == "IF_EXISTS" || name == "APPLICATION_ARCHIVE";
        for (long i = firstIsData ? 1 : 0; i < args.size(); ++i) resolve(args.at(i), '%');
        text.erase(start, pos - start);
        end = start;
    }

    // ARCHIVE is expanded inside CP, so it cannot call CP itself.
    bool m_inArchive = false;

private:
    LaunchScript m_script{SString(), false, false};
};

}  // namespace

void checkLaunchScript(const SString& path, const TagFile& script, std::vector<SString>& problems) {
    FunctionChecker checker;
    for (const char* tag : {"COMMAND", "ARCHIVE"}) {
        checker.m_inArchive = SString(tag) == "ARCHIVE";
        try {
            checker.resolve(script.getTagValue(tag, 0), '%');
        } catch (const LauncherException& e) {
            SString message = e.getMessage();
            if (message.compare(0, 21, "Launch script error: ") != 0) {
                message = "Launch script error: " + message;
            }
            problems.push_back(path + ": " + message);
        }
    }
}
