#include "jvm/VerifierCommand.h"

#include "base/Paths.h"
#include "base/TextLines.h"
#include "inputfiles/BundleContext.h"
#include "inputfiles/MacroHandler.h"
#include "inputfiles/RuntimeFiles.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"
#include "platform/shell/ShellLiterals.h"

namespace {

// Replaces #NAME# by the environment variable's value, kept literal.
class EnvironmentMacros : public MacroHandler {
public:
    explicit EnvironmentMacros(ShellLiterals& literals) : m_literals(literals) {}
    void processMacro(SString& text, char, size_t start, size_t& end) const override {
        const SString name = text.substr(start + 1, end - start - 1);
        text.replace(
            start, end - start + 1,
            m_literals.mark(PlatformImpl::getEnvironmentVariable(name), ShellLiterals::Words));
    }

private:
    ShellLiterals& m_literals;
};

// Sets a JVMFile's literals for the life of the object.
class LiteralsInUse {
public:
    LiteralsInUse(const JVMFile& jvm, ShellLiterals& literals) : m_jvm(jvm) {
        jvm.setLiterals(&literals);
    }
    ~LiteralsInUse() { m_jvm.setLiterals(nullptr); }
    LiteralsInUse(const LiteralsInUse&) = delete;
    LiteralsInUse& operator=(const LiteralsInUse&) = delete;

private:
    const JVMFile& m_jvm;
};

bool isQuoted(const SString& text) {
    return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

StringDeque runtimeLines(const BundleContext* context, const char* extension) {
    return context && context->runtimeFiles ? context->runtimeFiles->lines(extension)
                                            : StringDeque();
}

}  // namespace

VerifierCommand buildVerifierCommand(const JVMFile& candidate, const BundleContext* context,
                                     const SString& jvmHome, const SString& verifyClassPath,
                                     const SString& verifyClassName,
                                     const StringDeque& propertyNames) {
    // The command is expanded against a copy of the descriptor that names the candidate as
    // its JVM_HOME: the descriptor itself stays as it is.
    const std::unique_ptr<TagFile> copy = candidate.getTagFile().clone();
    copy->setTagValue("JVM_HOME", jvmHome);
    const TagFile& descriptor = *copy;
    const JVMFile jvm(descriptor);
    ShellLiterals literals;
    LiteralsInUse inUse(jvm, literals);

    SString home = jvmHome;
    if (home.back() != '/') home += "/";
    SString text =
        "\"" + literals.mark(home, ShellLiterals::Word) + jvm.resolve("@JVM_EXE@") + "\"";

    // The class path in the order of the CP function; the verifier's own class path is one
    // class path whatever its form and goes in as its bytes.
    const bool environmentMode = descriptor.getTagValue("USE_CP_ENV_VAR", 0) == "1";
    std::vector<SString> environment;
    const SString separator = descriptor.getTagValue("CLASSPATH_SEPARATOR", 0);
    SString classpath;
    auto add = [&](const SString& entry) {
        if (entry.empty()) return;
        if (!classpath.empty()) classpath += separator;
        classpath += entry;
    };
    for (const SString& entry : runtimeLines(context, ".cp1")) add(entry);
    add(descriptor.getTagValue("JVM_CLASSPATH", 0));
    for (const SString& entry : runtimeLines(context, ".cp")) add(entry);
    const SString verifier = isQuoted(verifyClassPath)
                                 ? verifyClassPath.substr(1, verifyClassPath.size() - 2)
                                 : verifyClassPath;
    if (!verifier.empty()) add(literals.mark(verifier, ShellLiterals::Word));
    for (const SString& entry : runtimeLines(context, ".cp2")) add(entry);

    if (!environmentMode) {
        if (!classpath.empty()) text += " " + descriptor.getTagValue("CLASSPATH", 0) + classpath;
    } else if (descriptor.getTagValue("CP_ENV_VAR", 0).empty()) {
        logMessage(
            "If USE_CP_ENV_VAR is set to 1 in the jvm file, then the jvm file should also define "
            "CP_ENV_VAR.",
            LOG_ERROR);
    } else {
        const SString variable = descriptor.getTagValue("CP_ENV_VAR", 0);
        const SString value = literals.plain(classpath);
        environment.push_back(variable + "=" + value);
        logMessage("Set env var " + variable + " to " + value + "\n", LOG_INFO);
    }
    text += " " + verifyClassName;
    for (const SString& name : propertyNames) text += " " + name;

    text = EnvironmentMacros(literals).resolve(jvm.resolve(text), '#');
    VerifierCommand command;
    command.arguments = literals.split(text);
    command.shown = literals.quote(text);
    if (context) command.workingDir = context->launcherDirectory();
    command.environment.push_back("JAVA_HOME=" + jvmHome);
    for (const SString& entry : environment) command.environment.push_back(entry);
    return command;
}
