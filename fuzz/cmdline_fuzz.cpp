// The argument splitter used to start an embedded launcher.
#include "platform/CmdLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CmdLine cmdLine;
    cmdLine.parse(SString(reinterpret_cast<const char*>(data), size));
    for (int i = 0; i <= cmdLine.getOptionCount(); ++i) cmdLine.getOption(i);
    return 0;
}
