#include "launch/LaunchScript.h"

#include <cstring>

#include "base/ArgumentParsing.h"
#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/TextLines.h"
#include "inputfiles/ApplicationArchive.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/os/TrustedPath.h"
#include "platform/shell/OptionWords.h"

LaunchScript::LaunchScript(const TagFile& script, bool captureOutput)
    : m_command(script.getTagValue("COMMAND", 0)),
      m_captureOutput(captureOutput),
      m_streamOutputToLog(true),
      m_displayConsole(script.getBoolTagValue("DISPLAY_CONSOLE", false)),
      m_autoSetWorkingDir(script.getBoolTagValue("AUTO_SET_WORKING_DIR", true)),
      m_extractArchives(true),
      m_quiet(script.getBoolTagValue("QUIET", false)),
      m_description(script.getTagValue("DESC", 0)),
      m_archive(script.getTagValue("ARCHIVE", 0)),
      m_classData(script.getBoolTagValue("CLASS_DATA", false)) {
    if (const StringDeque* references = script.getValue("CLASSPATH_REFERENCES")) {
        for (const SString& path : *references) {
            if (!path.empty()) m_references.push_back(path);
        }
    }
}

LaunchScript::LaunchScript(const SString& command, bool captureOutput, bool extractArchives)
    : m_command(command), m_captureOutput(captureOutput), m_extractArchives(extractArchives) {}

SString LaunchScript::resolve(const JVMFile& jvm) {
    // Values from outside the bundle's own text stand in the text as markers while the
    // passes run, and are quoted for their place in the finished command.
    m_jvmFile = &jvm;
    m_literals.clear();
    jvm.setLiterals(&m_literals);
    try {
        SString text = MacroHandler::resolve(m_command, '%');
        text = jvm.resolve(text);
        text = MacroHandler::resolve(text, '#');
        m_jvmFile = nullptr;
        jvm.setLiterals(nullptr);
        return m_literals.quote(text);
    } catch (...) {
        m_jvmFile = nullptr;
        jvm.setLiterals(nullptr);
        throw;
    }
}

const JVMFile& LaunchScript::currentJVM() const {
    // Resolution outside resolve() (as the packer's checks do) sees a descriptor without tags.
    static const TagFile emptyDescriptor;
    static const JVMFile emptyJVM(emptyDescriptor);
    return m_jvmFile ? *m_jvmFile : emptyJVM;
}

void LaunchScript::throwException(const SString& text, const char* message) const {
    logMessage("Launch command:", LOG_INFO);
    logMessage(m_literals.plain(text), LOG_INFO);
    throw LauncherException(SString("Launch script error: ") + message);
}

void LaunchScript::getArguments(const SString& text, size_t& pos, StringDeque& args) const {
    enum { Open, Argument, Separator } state = Open;
    for (;;) {
        const size_t scanStart = pos;
        while (pos < text.size() && isWhitespace(text[pos])) ++pos;
        const char c = pos < text.size() ? text[pos] : '\0';
        const bool atEnd = pos >= text.size();
        const char* error = nullptr;
        switch (state) {
            case Open:
                if (!atEnd && c == '(') {
                    ++pos;
                    state = Argument;
                } else {
                    error = "Expected left parenthesis.";
                }
                break;
            case Argument:
                if (!atEnd && c == '"') {
                    size_t next = pos + 1;
                    args.push_back(parseStringArgument(text, next, true));
                    pos = next == SString::npos ? text.size() : next;
                    state = Separator;
                } else if (!atEnd && c == ')') {
                    ++pos;
                    return;
                } else {
                    error = "Expected string arg.";
                }
                break;
            case Separator:
                if (!atEnd && c == ',') {
                    ++pos;
                    state = Argument;
                } else if (!atEnd && c == ')') {
                    ++pos;
                    return;
                } else {
                    error = "Expected right parenthesis.";
                }
                break;
        }
        if (error) {
            SString message =
                SString(error) + " (near character " +
                convertToString(static_cast<long>(m_literals.plainPosition(text, scanStart))) + ")";
            throwException(text, message.c_str());
        }
    }
}

namespace {

// Each occurrence of `search` replaced, left to right, without overlap.
SString replaceAll(const SString& text, const SString& search, const SString& replacement) {
    if (search.empty()) return text;
    SString result = text;
    size_t pos = result.find(search);
    while (pos != SString::npos) {
        result.replace(pos, search.size(), replacement);
        pos = result.find(search, pos + replacement.size());
    }
    return result;
}

}  // namespace

// Arguments marked as data (bit i for argument i) are a search text, a tag name or a file
// name: they are used as written and never become part of the command.
const LaunchScriptFunction LaunchScript::kFunctions[] = {
    {"REPLACE", 3, 3, "REPLACE function requires 3 arguments.", 1u << 0,
     &LaunchScript::replaceValue},
    {"RUNTIME_SYSTEMPROP", 0, 0, "RUNTIME_SYSTEMPROP function takes no arguments.", 0,
     &LaunchScript::runtimeSystemPropsValue},
    {"RUNTIME_JAVAARGS", 0, 0, "RUNTIME_JAVAARGS function takes no arguments.", 0,
     &LaunchScript::runtimeJavaArgsValue},
    {"SYSTEMPROP", 2, 2, "SYSTEMPROP function requires 2 arguments.", 0,
     &LaunchScript::systemPropValue},
    {"CP", 0, -1, nullptr, 0, &LaunchScript::classpathValue},
    {"IF_EXISTS", 2, 2, "IF_EXISTS function requires 2 arguments.", 1u << 0,
     &LaunchScript::ifExistsValue},
    {"LAUNCHER_FILE", 0, 0, "LAUNCHER_FILE function takes 0 arguments.", 0,
     &LaunchScript::launcherFileValue},
    {"LAUNCHER_DIR", 0, 0, "LAUNCHER_DIR function takes 0 arguments.", 0,
     &LaunchScript::launcherDirValue},
    {"APPLICATION_ARCHIVE", 0, 1, "APPLICATION_ARCHIVE function takes 0 arguments.", 1u << 0,
     &LaunchScript::applicationArchiveValue},
    {"TEMP_DIR", 0, 0, "TEMP_DIR function takes 0 arguments.", 0, &LaunchScript::tempDirValue},
    {"ENV_OPTIONS", 1, -1, "ENV_OPTIONS function needs the names of environment variables.",
     LaunchScriptFunction::kAllArguments, &LaunchScript::envOptionsValue},
};

const char* LaunchScriptFunction::countErrorFor(long count) const {
    if (count < minArgs || (maxArgs >= 0 && count > maxArgs)) return countError;
    return nullptr;
}

const LaunchScriptFunction* LaunchScript::findFunction(const SString& name) {
    for (const LaunchScriptFunction& function : kFunctions) {
        if (name == function.name) return &function;
    }
    return nullptr;
}

const LaunchScriptFunction& LaunchScript::parseFunctionCall(const SString& text, size_t start,
                                                            size_t end, size_t& pos,
                                                            StringDeque& args) const {
    const SString name = text.substr(start + 1, end - start - 1);
    const LaunchScriptFunction* function = findFunction(name);
    if (!function) throwException(text, ("Invalid function name (" + name + ").").c_str());
    pos = end + 1;
    getArguments(text, pos, args);
    if (const char* countError = function->countErrorFor(args.size())) {
        throwException(text, countError);
    }
    return *function;
}

SString LaunchScript::replaceValue(const JVMFile& jvm, const StringDeque& args) const {
    return replaceAll(args.at(2), jvm.resolve(args.at(0)), jvm.resolve(args.at(1)));
}

SString LaunchScript::runtimeSystemPropsValue(const JVMFile& jvm, const StringDeque&) const {
    return buildRuntimeSystemProps(jvm);
}

SString LaunchScript::runtimeJavaArgsValue(const JVMFile& jvm, const StringDeque&) const {
    return buildRuntimeJavaArgs(jvm);
}

SString LaunchScript::systemPropValue(const JVMFile& jvm, const StringDeque& args) const {
    return makeSystemProp(jvm, args.at(0), args.at(1));
}

SString LaunchScript::ifExistsValue(const JVMFile& jvm, const StringDeque& args) const {
    if (jvm.getTagFile().getTagValue(args.at(0).c_str(), 0).empty()) return SString();
    return jvm.resolve(args.at(1));
}

SString LaunchScript::launcherFileValue(const JVMFile&, const StringDeque&) const {
    return m_literals.mark(m_context ? m_context->launcherFile : SString(), ShellLiterals::Word);
}

SString LaunchScript::launcherDirValue(const JVMFile&, const StringDeque&) const {
    return m_literals.mark(m_context ? m_context->originalLauncherDirectory() : SString(),
                           ShellLiterals::Word);
}

SString LaunchScript::applicationArchiveValue(const JVMFile&, const StringDeque& args) const {
    ApplicationArchive* archive = m_context ? m_context->applicationArchive : nullptr;
    SString path;
    if (archive) path = args.empty() ? archive->embedded() : archive->besideLauncher(args.at(0));
    return m_literals.mark(path, ShellLiterals::Word);
}

SString LaunchScript::tempDirValue(const JVMFile&, const StringDeque&) const {
    SString value = PlatformImpl::getSystemTempDirectory();
    if (!value.empty() && value.back() == '\\') value.pop_back();
    return m_literals.mark(value, ShellLiterals::Word);
}

SString LaunchScript::envOptionsValue(const JVMFile&, const StringDeque& args) const {
    // Each word is a literal of its own in double quotes, where every byte can stand without
    // a shell; nothing in it is expanded, and an empty word stays an (empty) argument.
    SString value;
    for (const SString& name : args) {
        const SString text = PlatformImpl::getEnvironmentVariable(name);
        std::vector<SString> words;
        if (!splitOptionWords(text, words)) {
            const SString warning = name +
                                    " is not used: its value has a quote that is not closed (" +
                                    showLineBreaks(text) + ")";
            logMessage(warning, LOG_WARNING);
            PlatformImpl::showErrorLine(warning);
            continue;
        }
        for (const SString& word : words) {
            if (!value.empty()) value += ' ';
            value += "\"" + m_literals.mark(word, ShellLiterals::Word) + "\"";
        }
    }
    return value;
}

void LaunchScript::processMacro(SString& text, char delimiter, size_t start, size_t& end) const {
    if (delimiter == '#') {
        const SString name = text.substr(start + 1, end - start - 1);
        text.replace(
            start, end - start + 1,
            m_literals.mark(PlatformImpl::getEnvironmentVariable(name), ShellLiterals::Words));
        return;
    }
    size_t pos = 0;
    StringDeque args;
    const LaunchScriptFunction& function = parseFunctionCall(text, start, end, pos, args);
    const SString value = (this->*function.evaluate)(currentJVM(), args);
    text.replace(start, pos - start, value);
    end = start + value.size();
}
