#pragma once
// Options that users keep in environment variables (JAVA_OPTS and the like) split into words
// the way a shell splits a command's words, but without a shell: quotes and backslashes are
// removed, and nothing is expanded, globbed or run.

#include <vector>

#include "base/SString.h"

// Splits `text` into words. Blanks (space, tab, line feed) separate words outside quotes;
// '...' keeps every byte inside it; "..." keeps every byte but a backslash before " $ ` \ or
// a line feed, which stands for that byte (a backslash and a line feed vanish); outside
// quotes a backslash keeps the byte after it (a backslash and a line feed vanish; a last
// backslash stays). Quoted parts join the word around them, and '' or "" alone is an empty
// word. `$(...)` and backquotes are bytes like any other. False, with `words` empty, when a
// quote is not closed.
bool splitOptionWords(const SString& text, std::vector<SString>& words);
