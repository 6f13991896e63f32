#pragma once
// Recognises shell commands that are nothing but words, so they can be started without
// a shell in between: the same program receives the same arguments either way.

#include <vector>

#include "base/SString.h"

// Splits `command` into its words when the shell would do no more than remove quotes:
// the program is a path (it holds a "/"), and nothing calls for expansion, redirection,
// several commands or other shell syntax. False when the shell is needed.
bool splitSimpleCommand(const SString& command, std::vector<SString>& words);

// `text` with a backslash before each double quote, dollar sign, backquote and backslash,
// so it keeps its bytes inside a double-quoted shell word.
SString escapeForShellQuotes(const SString& text);
