#pragma once
// Checks a packer runs on the files it embeds, so a mistake shows before shipping.

#include <vector>

#include "base/SString.h"

class TagFile;

// Loads a tag file; on failure returns false and adds one "FILE line N: message" problem.
bool loadForCheck(const SString& path, TagFile& tagFile, std::vector<SString>& problems);
// Adds "FILE line N: message" for each instruction that would fail.
void checkInstructions(const SString& path, const TagFile& instructions,
                       std::vector<SString>& problems);
// Adds "FILE: Launch script error: ..." for each problem in COMMAND and ARCHIVE: unknown
// functions, argument lists that do not parse, wrong argument counts.
void checkLaunchScript(const SString& path, const TagFile& script, std::vector<SString>& problems);
// Adds "FILE line N: name=value: reason" for each JVM_PROPERTIES value that looks like a
// version constraint ("17+", "11..17") but is malformed.
void checkJVMDescriptor(const SString& path, const TagFile& descriptor,
                        std::vector<SString>& problems);
