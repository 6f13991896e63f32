#include "inputfiles/MacroHandler.h"

#include "base/LauncherException.h"

SString MacroHandler::resolve(const SString& text, char delimiter) const {
    SString result = text;
    long replacements = 0;
    unsigned long long scanned = 0;
    size_t start = result.find(delimiter);
    while (start != SString::npos) {
        if (result.size() < 2 || start >= result.size() - 2) break;
        size_t end = result.find(delimiter, start + 2);
        if (end == SString::npos) break;
        scanned += result.size();
        if (++replacements > kMaxReplacements || result.size() > kMaxResultSize ||
            scanned > kMaxScannedBytes) {
            SString name = result.substr(start, end - start + 1);
            throw LauncherException("The macro " + name +
                                    " expands without end; a value refers to itself.");
        }
        processMacro(result, delimiter, start, end);
        start = result.find(delimiter, start);
    }
    const char pair[2] = {delimiter, delimiter};
    size_t p = result.find(pair, 0, 2);
    while (p != SString::npos) {
        result.erase(p, 1);
        p = result.find(pair, p + 1, 2);
    }
    return result;
}
