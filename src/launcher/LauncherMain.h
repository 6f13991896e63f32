#pragma once
// The launcher's main program, separate from main() so tests can run it in a child.

// Collects the arguments and the launcher's absolute path, runs the command line and
// cleans up. Returns the exit status (0). Lets exceptions other than LauncherException
// pass after the clean-up has run.
int launcherMain(int argc, char** argv);
