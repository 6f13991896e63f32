#pragma once
// What the interpreter's commands do: by default the controller's actions. Checks and
// fuzzing put their own in place so that nothing is searched, installed or launched.

#include "base/SString.h"

class InstructionActions {
public:
    virtual ~InstructionActions() = default;

    // Called before each instruction line runs.
    virtual void step(long /*cursor*/) {}
    virtual void findJVM(bool showUI, bool showFailMsg);
    virtual void ilaunch(long fileId, short seconds);
    virtual void initializeUI();
    virtual void installJVM(long option);
    virtual void launch(const SString& descriptorPath, short seconds);
    virtual void verifyJVM(bool showUI, bool showFailMsg, long fileId);
    virtual void executeEmbeddedLauncher(long position);
    // Ends the instructions with `status` as the run's exit status.
    virtual void exit(long status);

    // The controller's actions.
    static InstructionActions& controller();
};
