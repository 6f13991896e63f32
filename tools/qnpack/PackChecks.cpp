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
    // A pipe or a device named by mistake is refused, never waited on or read without end.
    SString problem;
    StdioFile file = PlatformImpl::openPlainFile(path, problem);
    if (!file) {
        problems.push_back(path + ": cannot be read: " + problem);
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

void checkClasspathReferences(const SString& path, const TagFile& script,
                              std::vector<SString>& problems) {
    const StringDeque* references = script.getValue("CLASSPATH_REFERENCES");
    if (!references) return;
    for (const SString& reference : *references) {
        if (reference.empty() || reference[0] != '/') {
            problems.push_back(path + ": CLASSPATH_REFERENCES: " + reference +
                               ": a referenced jar is named by its absolute path");
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

void checkInstructionNeeds(const SString& path, const TagFile& instructions,
                           const BundleContents& contents, std::vector<SString>& problems) {
    const StringDeque* lines = instructions.getValue(Instructions::g_instructionsTag);
    if (!lines) return;
    const std::vector<long> fileLines = valueLines(path, Instructions::g_instructionsTag);
    bool verifierReported = false;
    for (long i = 0; i < lines->size(); ++i) {
        size_t pos = 0;
        bool noToken = false;
        const SString command = getTokenFromString(lines->at(i), pos, noToken);
        const SString where =
            path + " line " +
            convertToString(static_cast<long>(fileLines.size()) == lines->size() ? fileLines[i]
                                                                                 : i + 1) +
            ": ";
        if ((command == "LAUNCH" || command == "ILAUNCH") && !contents.launchScript) {
            problems.push_back(where + command +
                               " needs a launch script, but none is embedded; add "
                               "--launch-script FILE");
        }
        if (command != "FIND_JVM" && command != "VERIFY") continue;
        if (!contents.descriptor) {
            problems.push_back(where + command +
                               " needs a JVM descriptor, but none is embedded; add --jvm FILE "
                               "(qnpack init writes one)");
        }
        if (!contents.verifier && !verifierReported) {
            verifierReported = true;
            problems.push_back(where + command +
                               " verifies each JVM with the Verify class, but no verifier is "
                               "embedded, so every JVM would be refused; add --verify-archive "
                               "verify.jar");
        }
    }
}

void checkDescriptorProperties(const SString& path, const TagFile& descriptor,
                               std::vector<SString>& problems) {
    if (descriptor.getTagValueCount("JVM_PROPERTIES") > 0) return;
    problems.push_back(path +
                       " line 1: the descriptor has no JVM_PROPERTIES, so the launcher never "
                       "tries its hints; add a line such as JVM_PROPERTIES: java.version=17+");
}

namespace {

// The problem of one value text that starts with a quote, or nothing.
SString quotedValueProblem(const SString& tag, const SString& value, bool inBlock) {
    size_t position = 1;
    try {
        parseStringArgument(value, position, true);
    } catch (const LauncherException&) {
        return SString();  // an unclosed quote is reported when the file is loaded
    }
    if (position == SString::npos) return SString();
    const SString rest = value.substr(position);
    if (rest.find_first_not_of(whitespaceChars) == SString::npos) return SString();
    SString doubled = "\"";
    for (char c : value) {
        doubled += c;
        if (c == '"') doubled += '"';
    }
    doubled += '"';
    return tag + ": the text after the closing quote (" + rest +
           ") would be dropped; to keep the quotes, double each one and quote the whole " +
           (inBlock ? "line: " : "value: " + tag + ": ") + doubled +
           (inBlock ? SString()
                    : ", or write the value as a block (" + tag +
                          ": alone on a "
                          "line, the value, then /:)");
}

}  // namespace

void checkQuotedValues(const SString& path, std::vector<SString>& problems) {
    StdioFile file = PlatformImpl::openFile(path, "r");
    if (!file) return;
    TagFile counter;
    SString blockTag;
    bool inBlock = false;
    try {
        while (!feof(file.get())) {
            SString line;
            counter.readLine(file.get(), line);
            SString problem;
            if (inBlock) {
                if (line == "/:") {
                    inBlock = false;
                } else if (!line.empty() && line[0] == '"') {
                    problem = quotedValueProblem(blockTag, line, true);
                }
            } else {
                const size_t colon = line.find(':');
                if (colon == SString::npos) continue;
                SString name = line.substr(0, colon);
                trim(name, whitespaceChars);
                if (colon + 1 == line.size()) {
                    inBlock = true;
                    blockTag = name;
                    continue;
                }
                const size_t start = line.find_first_not_of(whitespaceChars, colon + 1);
                if (start != SString::npos && line[start] == '"') {
                    problem = quotedValueProblem(name, line.substr(start), false);
                }
            }
            if (!problem.empty()) {
                problems.push_back(path + " line " + convertToString(counter.getLineNumber()) +
                                   ": " + problem);
            }
        }
    } catch (const LauncherException&) {
    }
}
