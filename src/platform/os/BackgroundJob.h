#pragma once
// Work that outlives the launcher: it runs in a process of its own, detached from the
// launcher's session, terminal and standard streams, at the lowest CPU and I/O priority,
// and starts only once the launcher's process has ended (the launcher itself, or the
// program it was replaced by). It never returns into the launcher's code: its process ends
// with _exit, so none of the launcher's clean-up runs twice.

#include <functional>
#include <vector>

// Starts `work` in a detached process, which first waits until the calling process has
// ended, then ends with the status `work` returns (1 when it throws). Only `keptFds` of the
// launcher's descriptors stay open in it (at their numbers), standard input, output and
// error are /dev/null, and its signals have their default actions. False (errno set) when
// the process could not be started; the launcher goes on either way.
bool startBackgroundJob(const std::vector<int>& keptFds, const std::function<int()>& work);

// The one-minute load average of the machine (/proc/loadavg); false when it cannot be read.
bool machineLoadAverage(double& load);
// The number of processors online (at least 1).
int onlineProcessors();
