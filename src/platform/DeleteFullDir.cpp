#include "platform/DeleteFullDir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "launcher/Launcher.h"

bool DeleteFullDir::processFile(const SString& path) {
    deleteOneFile(path);
    return false;
}

bool DeleteFullDir::process(const SString& dir) {
    bool result = FileNavigator::process(dir);
    for (long i = m_visitedDirs.size() - 1; i >= 0; --i) {
        const SString& visited = m_visitedDirs.at(i);
        bool aboveFailure = false;
        for (const SString& failed : m_failedDirs) {
            if (failed.compare(0, visited.size(), visited) == 0) {
                aboveFailure = true;
                break;
            }
        }
        if (!aboveFailure && !deleteOneFile(visited)) m_failedDirs.push_back(visited);
    }
    return result;
}

bool deleteOneFile(const SString& path) {
    if (remove(path.c_str()) == 0) return true;
    logDeleteFileFailure(path, errno);
    return false;
}

void logDeleteFileFailure(const SString& path, int errorNumber) {
    Launcher::logMessage("Could not delete " + path + " :  " + strerror(errorNumber), LOG_WARNING);
}
