#pragma once
// Commands the launcher can start itself instead of handing them to /bin/sh: those whose
// words are all the shell would make of them. Started directly, a program is limited only
// as any program's arguments are, not to the one 128 KiB argument a shell command is.

#include <vector>

#include "base/SString.h"

// Splits `command` into the program and its arguments when starting them directly gives
// what the shell would run: plain and quoted words only (see splitSimpleCommand), also
// behind a leading `exec`, and a program that is a path or a name the shell too would look
// up in PATH (not one of its keywords or built-in commands). False when the shell is needed.
bool splitForDirectStart(const SString& command, std::vector<SString>& words);

// The text the shell runs for a `command` that needs it: `command` behind `exec` when it is
// one command the shell would look up and start (no `;`, `&`, `|`, line break, brackets or
// braces outside quotes, no leading assignment, reserved word or built-in), so that the
// program takes the shell's place and dies with the launcher; `command` as it is otherwise.
SString commandForShell(const SString& command);
