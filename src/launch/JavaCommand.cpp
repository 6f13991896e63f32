#include "launch/JavaCommand.h"

#include "platform/PlatformImpl.h"

namespace {

bool isClassPathOption(const SString& word) {
    return word == "-cp" || word == "-classpath" || word == "--class-path";
}

bool startsWith(const SString& text, const char* prefix) {
    return text.compare(0, SString(prefix).size(), prefix) == 0;
}

// Options a dump leaves out: what would run code (agents), print (versions, settings,
// logs of the application's own choosing) or show a window.
bool leftOutOfDump(const SString& option) {
    for (const char* prefix : {"-javaagent:", "-agentlib:", "-agentpath:", "-Xlog", "-verbose",
                               "-splash:", "-XshowSettings", "-Xshare"}) {
        if (startsWith(option, prefix)) return true;
    }
    for (const char* word : {"-version", "--version", "-showversion", "--show-version", "--dry-run",
                             "-Xinternalversion"}) {
        if (option == word) return true;
    }
    return false;
}

std::vector<SString> splitClassPath(const SString& value) {
    std::vector<SString> entries;
    size_t start = 0;
    for (;;) {
        const size_t colon = value.find(':', start);
        entries.push_back(value.substr(start, colon - start));
        if (colon == SString::npos) break;
        start = colon + 1;
    }
    return entries;
}

}  // namespace

bool optionTakesValue(const SString& word) {
    for (const char* option :
         {"-cp", "-classpath", "--class-path", "-p", "--module-path", "--upgrade-module-path",
          "--add-modules", "--limit-modules", "--add-reads", "--add-exports", "--add-opens",
          "--patch-module", "--enable-native-access", "--source"}) {
        if (word == option) return true;
    }
    return false;
}

bool JavaCommand::read(const std::vector<SString>& commandWords, SString& problem) {
    words = commandWords;
    options.clear();
    classPath.clear();
    SString classPathValue;
    bool classPathGiven = false;
    for (size_t i = 1; i < words.size(); ++i) {
        const SString& word = words[i];
        if (word.empty() || word[0] == '@') {
            problem = "its options are read from an argument file";
            return false;
        }
        if (word == "-m" || word == "--module" || startsWith(word, "--module=")) {
            problem = "it starts a module";
            return false;
        }
        if (word == "-jar") {
            if (i + 1 >= words.size()) break;
            classPath = {words[i + 1]};
            return true;
        }
        if (word[0] != '-') {
            classPath = classPathGiven
                            ? splitClassPath(classPathValue)
                            : splitClassPath(PlatformImpl::getEnvironmentVariable("CLASSPATH"));
            return true;
        }
        if (optionTakesValue(word)) {
            if (i + 1 >= words.size()) break;
            if (isClassPathOption(word)) {
                classPathValue = words[i + 1];
                classPathGiven = true;
            } else {
                options.push_back(word);
                options.push_back(words[i + 1]);
            }
            ++i;
            continue;
        }
        if (startsWith(word, "--class-path=")) {
            classPathValue = word.substr(13);
            classPathGiven = true;
            continue;
        }
        options.push_back(word);
    }
    problem = "it names no main class";
    return false;
}

std::vector<SString> JavaCommand::dumpOptions() const {
    std::vector<SString> kept;
    for (size_t i = 0; i < options.size(); ++i) {
        if (optionTakesValue(options[i])) {
            kept.push_back(options[i]);
            if (i + 1 < options.size()) kept.push_back(options[++i]);
        } else if (!leftOutOfDump(options[i])) {
            kept.push_back(options[i]);
        }
    }
    return kept;
}

SString JavaCommand::joinedClassPath() const {
    SString joined;
    for (size_t i = 0; i < classPath.size(); ++i) joined += (i ? ":" : "") + classPath[i];
    return joined;
}
