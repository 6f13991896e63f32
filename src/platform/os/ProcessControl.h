#pragma once
// Children and signals. Each child runs in its own process group; an interactive child
// holds the terminal while it runs. The interruption signals the launcher receives
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ) are passed on to the running child, and once
// no child runs they end the launcher through a TerminationRequest, after its clean-up. A
// child gets SIGTERM when the launcher dies without passing a signal on.

#include <sys/types.h>

// Thrown to end the run because of a signal; the entry point cleans up and then ends the
// process by that signal.
class TerminationRequest {
public:
    explicit TerminationRequest(int signal) : m_signal(signal) {}
    int signal() const { return m_signal; }

private:
    int m_signal;
};

// Records the interruption signals instead of dying at once, and ignores SIGPIPE (a
// caller that stops reading the results must not keep the launcher from cleaning up).
void installSignalHandlers();
// The last interruption signal received, 0 when none.
int pendingSignal();
// Throws TerminationRequest when an interruption signal has arrived.
void throwIfSignalled();
// Forgets a received interruption signal and the running child's group (tests run many
// launches in one process).
void resetSignalState();
// Before the process is replaced by another program: gives the interruption signals and
// SIGPIPE their default actions (one ignored by whoever started the launcher stays
// ignored), so the program gets them as if it had been started directly. False, with
// nothing changed, when an interruption signal has arrived already.
bool signalsForReplacement();
// After a replacement that failed: the launcher's own signal handling again.
void restoreLauncherSignals();
// Ends the process by `signal` with its default action.
[[noreturn]] void dieBySignal(int signal);

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Forks into a new process group; returns the child's id in the launcher, 0 in the
    // child, -1 on failure. An `interactive` child is handed the terminal when the launcher
    // holds it; a child that is not gets /dev/null as standard input when that is a
    // terminal, so it cannot stop on reading it.
    pid_t start(bool interactive);
    // Waits until the child has ended; false (errno set) when waiting failed. A stopped
    // interactive child stops the launcher too and both go on together. Takes the terminal
    // back. Throws TerminationRequest when the launcher was signalled meanwhile, or when an
    // interactive child was ended by an interrupt from the terminal.
    bool wait();

    // Sends the pending interruption signal to the child's process group again.
    void resignal();
    // Whether the child has ended; it stays to be collected by wait().
    bool hasEnded() const;
    // Kills the child's whole process group at once.
    void killGroup();

    // The raw wait status of the ended child.
    int status() const { return m_status; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
    int m_terminal = -1;  // the terminal handed to the child, or -1
};
