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

// What a bundle embeds besides its instructions, for the checks that need it.
struct BundleContents {
    bool launchScript = false;
    bool descriptor = false;
    bool verifier = false;
};

// Adds "FILE line N: ..." for each instruction that needs a file the bundle lacks: a launch
// script for LAUNCH and ILAUNCH, a descriptor and the verifier for FIND_JVM and VERIFY.
void checkInstructionNeeds(const SString& path, const TagFile& instructions,
                           const BundleContents& contents, std::vector<SString>& problems);
// Adds a problem when the descriptor has no JVM_PROPERTIES: its hints would never be tried.
void checkDescriptorProperties(const SString& path, const TagFile& descriptor,
                               std::vector<SString>& problems);
// Adds "FILE: CLASSPATH_REFERENCES: PATH: ..." for each referenced jar that is not an
// absolute path: the launcher would look for it relative to wherever it runs.
void checkClasspathReferences(const SString& path, const TagFile& script,
                              std::vector<SString>& problems);
// Adds "FILE line N: TAG: ..." for each value that starts with a quoted text and goes on
// after its closing quote: the rest would be dropped without a word.
void checkQuotedValues(const SString& path, std::vector<SString>& problems);
