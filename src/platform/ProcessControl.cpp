#include "platform/ProcessControl.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

pid_t ChildProcess::start() {
    m_pid = fork();
    return m_pid;
}

bool ChildProcess::wait() {
    for (;;) {
        pid_t done = waitpid(m_pid, &m_status, 0);
        if (done == m_pid) return true;
        if (done < 0 && errno != EINTR) return false;
    }
}
