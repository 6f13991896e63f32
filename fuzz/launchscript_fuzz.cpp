// The launch-script macro language: the input is a command, resolved (never run) against
// a descriptor whose tags refer to each other, and split as the launcher would start it.
#include <cstdlib>
#include <vector>

#include "base/LauncherException.h"
#include "fuzz/FuzzSupport.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFile.h"
#include "launch/LaunchScript.h"
#include "platform/shell/DirectCommand.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    TagFile descriptor;
    descriptor.setTagValue("JVM_HOME", "/opt/jdk\\");
    descriptor.setTagValue("JVM_EXE", "bin/java");
    descriptor.setTagValue("CLASSPATH", "-cp ");
    descriptor.setTagValue("CLASSPATH_SEPARATOR", ":");
    descriptor.setTagValue("SYSTEM", "-D");
    descriptor.setTagValue("SYSTEM_SEPARATOR", "=");
    descriptor.setTagValue("NESTED", "@JVM_HOME@/@JVM_EXE@");
    JVMFile jvm(descriptor);
    LaunchScript script(SString(reinterpret_cast<const char*>(data), size), false, false);
    try {
        const SString command = script.resolve(jvm);
        std::vector<SString> words;
        // A command started without the shell always has a program to start.
        if (splitForDirectStart(command, words) && (words.empty() || words[0].empty())) abort();
    } catch (const LauncherException&) {
    }
    fuzzTearDown();
    return 0;
}
