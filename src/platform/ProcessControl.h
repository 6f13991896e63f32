#pragma once
// One child process of the launcher: started with fork and waited for.

#include <sys/types.h>

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Forks; returns the child's id in the launcher, 0 in the child, -1 on failure.
    pid_t start();
    // Waits until the child has ended; false (errno set) when waiting failed.
    bool wait();

    // The raw wait status of the ended child.
    int status() const { return m_status; }

private:
    pid_t m_pid = -1;
    int m_status = 0;
};
