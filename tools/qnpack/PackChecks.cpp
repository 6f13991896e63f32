#include "qnpack/PackChecks.h"

#include "base/ArgumentParsing.h"
#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "base/TextLines.h"
#include "inputfiles/MacroHandler.h"
#include "inputfiles/TagFile.h"
#include "jvm/JavaVersion.h"
#include "launch/LaunchScript.h"
#include "launcher/Instructions.h"
#include "platform/PlatformImpl.h"

bool loadForCheck(const SString& path, TagFile& tagFile, std::vector<SString>& problems) {
    StdioFile file = PlatformImpl::openFile(path, "r");
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
        if (m_inArchive && text.compare(start + 1, end - start - 1, "CP") == 0) {
            m_script.throwException(text, kClasspathInArchiveError);
        }
        size_t pos = 0;
        StringDeque args;
        const LaunchScriptFunction& function =
            m_script.parseFunctionCall(text, start, end, pos, args);
        // Arguments that can end up in the command are scanned again there; data never is.
        for (long i = 0; i < args.size(); ++i) {
            if (!function.isDataArgument(i)) resolve(args.at(i), '%');
        }
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

namespace {

// The line of each value of the last definition of `tag` in the file at `path`, found by
// reading it the way a tag file is loaded; empty when it cannot be read again.
std::vector<long> valueLines(const SString& path, const SString& tag) {
    std::vector<long> lines;
    StdioFile file = PlatformImpl::openFile(path, "r");
    if (!file) return lines;
    TagFile counter;
    bool inBlock = false;
    bool ours = false;
    try {
        while (!feof(file.get())) {
            SString line;
            counter.readLine(file.get(), line);
            if (inBlock) {
                if (!line.empty() && line[0] == '"') {
                    size_t position = 1;
                    line = parseStringArgument(line, position, true);
                }
                if (line == "/:") {
                    inBlock = false;
                } else if (!line.empty() && ours) {
                    lines.push_back(counter.getLineNumber());
                }
                continue;
            }
            size_t colon = line.find(':');
            if (colon == SString::npos) continue;
            SString name = line.substr(0, colon);
            trim(name, whitespaceChars);
            ours = name == tag;
            // A tag defined again loses its earlier values.
            if (ours) lines.clear();
            if (colon + 1 == line.size()) {
                inBlock = true;
            } else if (ours) {
                lines.push_back(counter.getLineNumber());
            }
        }
    } catch (const LauncherException&) {
        lines.clear();
    }
    return lines;
}

}  // namespace

void checkJVMDescriptor(const SString& path, const TagFile& descriptor,
                        std::vector<SString>& problems) {
    const StringDeque* properties = descriptor.getValue("JVM_PROPERTIES");
    if (!properties) return;
    const std::vector<long> lines = valueLines(path, "JVM_PROPERTIES");
    size_t index = 0;
    for (const SString& property : *properties) {
        const size_t line = index++;
        size_t eq = property.find('=');
        if (eq == SString::npos) continue;
        SString name = property.substr(0, eq);
        SString value = property.substr(eq + 1);
        trim(name, " \t\n\r");
        trim(value, " \t\n\r");
        const SString error = versionConstraintError(value);
        if (error.empty()) continue;
        SString where = path;
        if (static_cast<long>(lines.size()) == properties->size())
            where += " line " + convertToString(lines[line]);
        problems.push_back(where + ": " + name + "=" + value + ": " + error);
    }
}
