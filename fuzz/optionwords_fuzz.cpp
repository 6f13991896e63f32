// The splitter of JVM options kept in environment variables: whatever the bytes, a refused
// value leaves no words, the words of a value quoted one by one split back into themselves,
// a value quoted as one word splits into itself alone, and the splitter reads a value as the
// quote-removing splitter of launch commands does. Stops on any broken rule and on a crash.
#include <cstdlib>
#include <vector>

#include "platform/shell/OptionWords.h"
#include "platform/shell/ShellLiterals.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const SString input(reinterpret_cast<const char*>(data), size);

    std::vector<SString> words;
    const bool split = splitOptionWords(input, words);
    if (!split) {
        require(words.empty());
    } else {
        SString quoted;
        for (const SString& word : words) quoted += quoteShellWord(word) + " ";
        std::vector<SString> again;
        require(splitOptionWords(quoted, again));
        require(again == words);
        // Environment values hold no NUL, which the command splitter need not keep.
        if (input.find('\0') == SString::npos) require(ShellLiterals().split(input) == words);
    }

    std::vector<SString> whole;
    require(splitOptionWords(quoteShellWord(input), whole));
    require(whole.size() == 1 && whole[0] == input);
    return 0;
}
