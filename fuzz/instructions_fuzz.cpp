// The instruction interpreter with its expressions: each input line is one instruction;
// the actions are stubbed out and a run ends after a fixed number of steps.
#include "base/InstructionsException.h"
#include "base/LauncherException.h"
#include "fuzz/FuzzSupport.h"
#include "inputfiles/TagFile.h"
#include "launcher/InstructionActions.h"
#include "launcher/Instructions.h"
#include "launcher/Launcher.h"

namespace {

struct StepLimit {};

class StubActions : public InstructionActions {
public:
    void step(long) override {
        if (++m_steps > 2000) throw StepLimit();
    }
    void findJVM(bool, bool) override { Launcher::setLongVariable(1, m_steps % 2); }
    void ilaunch(long, short) override {}
    void initializeUI() override {}
    void installJVM(long) override { Launcher::setStringVariable(1, "/opt/jvm"); }
    void launch(const SString&, short) override {}
    void verifyJVM(bool, bool, long) override {}
    void executeEmbeddedLauncher(long) override {}

private:
    long m_steps = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    SString text(reinterpret_cast<const char*>(data), size);
    TagFile tagFile;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == SString::npos) end = text.size();
        tagFile.appendTagValue(Instructions::g_instructionsTag, text.substr(start, end - start));
        start = end + 1;
    }
    StubActions actions;
    Instructions interpreter(tagFile, actions);
    try {
        interpreter.check();
        interpreter.execute();
    } catch (const InstructionsException&) {
    } catch (const LauncherException&) {
    } catch (const StepLimit&) {
    }
    fuzzTearDown();
    return 0;
}
