#include "platform/os/ProcessControl.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "base/RunState.h"

namespace {

volatile sig_atomic_t g_pendingSignal = 0;
// Process group of the running child, 0 while none runs.
volatile sig_atomic_t g_childGroup = 0;

const int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};

void onInterruption(int signal) {
    int savedErrno = errno;
    g_pendingSignal = signal;
    if (g_childGroup > 0) kill(-static_cast<pid_t>(g_childGroup), signal);
    errno = savedErrno;
}

// The terminal the launcher controls as the foreground process group, or -1.
int foregroundTerminal() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (isatty(fd) && tcgetpgrp(fd) == getpgrp()) return fd;
    }
    return -1;
}

// Makes `group` the terminal's foreground group; works from a background group too.
void setForeground(int terminal, pid_t group) {
    sigset_t block, saved;
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    sigprocmask(SIG_BLOCK, &block, &saved);
    tcsetpgrp(terminal, group);
    sigprocmask(SIG_SETMASK, &saved, nullptr);
}

}  // namespace

void installSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = onInterruption;
    sigemptyset(&action.sa_mask);
    for (int signal : kInterruptions) sigaddset(&action.sa_mask, signal);
    for (int signal : kInterruptions) {
        struct sigaction previous;
        // A signal ignored by whoever started the launcher stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signal, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
}

bool signalsForReplacement() {
    sigset_t block, saved;
    sigemptyset(&block);
    for (int signal : kInterruptions) sigaddset(&block, signal);
    sigprocmask(SIG_BLOCK, &block, &saved);
    // Blocked, a signal can no longer slip in between this check and the new actions: it
    // waits, and then takes its default action on this process or the program.
    const bool quiet = g_pendingSignal == 0;
    if (quiet) {
        for (int signal : kInterruptions) {
            struct sigaction previous;
            if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
                ::signal(signal, SIG_DFL);
            }
        }
        ::signal(SIGPIPE, SIG_DFL);
    }
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    return quiet;
}

void restoreLauncherSignals() {
    installSignalHandlers();
}

int pendingSignal() {
    return g_pendingSignal;
}

void throwIfSignalled() {
    if (g_pendingSignal != 0) throw TerminationRequest(g_pendingSignal);
}

void resetSignalState() {
    g_pendingSignal = 0;
    g_childGroup = 0;
}

namespace {

// The signal state lives in plain variables that the handler may write; it is reset with
// the rest of the run's state all the same.
class SignalState final : public RunStatePiece {
    void reset() override { resetSignalState(); }
} g_signalState;

}  // namespace

void dieBySignal(int signal) {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
    _exit(128 + signal);
}

pid_t ChildProcess::start(bool interactive) {
    m_terminal = interactive ? foregroundTerminal() : -1;
    const pid_t launcher = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // Should the launcher die without passing an interruption on (SIGKILL, a crash), the
        // child is ended as by a forwarded SIGTERM. A launcher that died before this was set
        // has left the child to another parent already.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != launcher) _exit(128 + SIGTERM);
        setpgid(0, 0);
        if (m_terminal >= 0) setForeground(m_terminal, getpid());
        if (!interactive && isatty(0)) {
            int devNull = open("/dev/null", O_RDONLY);
            if (devNull > 0) {
                dup2(devNull, 0);
                close(devNull);
            }
        }
        // The program run next gets the ordinary signal behaviour.
        signal(SIGPIPE, SIG_DFL);
        return 0;
    }
    if (m_pid > 0) {
        setpgid(m_pid, m_pid);
        if (m_terminal >= 0) setForeground(m_terminal, m_pid);
        g_childGroup = m_pid;
        // A signal that came while the child was being set up goes to it too.
        if (g_pendingSignal != 0) kill(-m_pid, g_pendingSignal);
    }
    return m_pid;
}

void ChildProcess::resignal() {
    if (m_pid > 0 && g_pendingSignal != 0) kill(-m_pid, g_pendingSignal);
}

bool ChildProcess::hasEnded() const {
    siginfo_t info = {};
    if (m_pid <= 0) return true;
    if (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno != EINTR;
    }
    return info.si_pid != 0;
}

void ChildProcess::killGroup() {
    if (m_pid > 0) kill(-m_pid, SIGKILL);
}

bool ChildProcess::wait() {
    const int options = m_terminal >= 0 ? WUNTRACED : 0;
    bool ok = true;
    for (;;) {
        pid_t done = waitpid(m_pid, &m_status, options);
        if (done < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (!WIFSTOPPED(m_status)) break;
        // Stopped from the terminal: stop alongside, so the shell gets the terminal back,
        // and go on together when continued.
        setForeground(m_terminal, getpgrp());
        raise(SIGSTOP);
        setForeground(m_terminal, m_pid);
        kill(-m_pid, SIGCONT);
    }
    int savedErrno = errno;
    g_childGroup = 0;
    if (m_terminal >= 0) setForeground(m_terminal, getpgrp());
    errno = savedErrno;
    if (!ok) return false;
    throwIfSignalled();
    // An interactive child ended by Ctrl-C or Ctrl-\ ends the launcher as well.
    if (m_terminal >= 0 && WIFSIGNALED(m_status) &&
        (WTERMSIG(m_status) == SIGINT || WTERMSIG(m_status) == SIGQUIT)) {
        throw TerminationRequest(WTERMSIG(m_status));
    }
    return true;
}
