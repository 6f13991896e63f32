#include "launcher/InstructionActions.h"

#include "launcher/Launcher.h"

void InstructionActions::findJVM(bool showUI, bool showFailMsg) {
    Launcher::findJVM(showUI, showFailMsg);
}

void InstructionActions::ilaunch(long fileId, short seconds) {
    Launcher::ilaunch(fileId, seconds);
}

void InstructionActions::initializeUI() {
    Launcher::initializeUI();
}

void InstructionActions::installJVM(long option) {
    Launcher::installJVM(static_cast<InstallJVMOption>(option));
}

void InstructionActions::launch(const SString& descriptorPath, short seconds) {
    Launcher::launch(descriptorPath, seconds);
}

void InstructionActions::verifyJVM(bool showUI, bool showFailMsg, long fileId) {
    Launcher::verifyJVM(showUI, showFailMsg, fileId);
}

void InstructionActions::executeEmbeddedLauncher(long position) {
    Launcher::executeEmbeddedLauncher(position);
}

void InstructionActions::exit(long status) {
    Launcher::setExitStatus(static_cast<int>(status));
}

InstructionActions& InstructionActions::controller() {
    static InstructionActions actions;
    return actions;
}
