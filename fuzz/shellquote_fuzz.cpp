// The shell quoting functions and the splitters that read their output back: whatever the
// bytes, a quoted value splits into exactly those bytes again, and the two splitters agree
// on every command both of them take. Stops on any broken rule as well as on a crash.
#include <cstdlib>
#include <vector>

#include "platform/shell/ShellLiterals.h"
#include "platform/shell/ShellWords.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

const SString kProgram = "/bin/p";

void checkQuoting(const SString& value) {
    const std::vector<SString> expected = {kProgram, value};
    std::vector<SString> words;
    // Inside double quotes every byte but NUL is carried, so no shell is needed.
    if (value.find('\0') == SString::npos) {
        require(splitSimpleCommand(kProgram + " \"" + escapeForShellQuotes(value) + "\"", words));
        require(words == expected);
    }
    // A word quoted on its own reads back whole; where the simple splitter takes it, it
    // reads the same.
    const SString word = kProgram + " " + quoteShellWord(value);
    require(ShellLiterals().split(word) == expected);
    if (splitSimpleCommand(word, words)) require(words == expected);
}

// The value as a literal in each quoting context, as one word and as split words: the
// quoted text, read as the shell would, gives the words split() makes without a shell.
void checkLiterals(const SString& value) {
    for (ShellLiterals::Kind kind : {ShellLiterals::Word, ShellLiterals::Words}) {
        ShellLiterals literals;
        const SString m = literals.mark(value, kind);
        const SString command = kProgram + " x" + m + "y \"" + m + "\" '" + m + "' " + m;
        const std::vector<SString> words = literals.split(command);
        require(words.size() >= 4 && words[0] == kProgram);
        require(words[1].size() >= 2 || kind == ShellLiterals::Words);
        const SString quoted = literals.quote(command);
        require(ShellLiterals().split(quoted) == words);
        std::vector<SString> simple;
        if (splitSimpleCommand(quoted, simple)) require(simple == words);
    }
}

// The input as a command: when the simple splitter takes it, the general one agrees.
void checkSplitters(const SString& command) {
    std::vector<SString> words;
    if (splitSimpleCommand(command, words)) require(ShellLiterals().split(command) == words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const SString input(reinterpret_cast<const char*>(data), size);
    checkQuoting(input);
    checkLiterals(input);
    checkSplitters(input);
    return 0;
}
