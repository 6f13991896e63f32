#include "platform/DeleteFullDir.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Log.h"

bool DeleteFullDir::processFile(const SString& path) {
    deleteOneFile(path);
    return false;
}

// Whether `path` is `dir` or lies below it. A plain prefix test would also take a sibling
// such as "lib" for an ancestor of "lib64" and leave it behind, unlogged.
static bool isSameOrBelow(const SString& path, const SString& dir) {
    if (path.compare(0, dir.size(), dir) != 0) return false;
    return path.size() == dir.size() || path[dir.size()] == '/' ||
           (!dir.empty() && dir.back() == '/');
}

bool DeleteFullDir::process(const SString& dir) {
    bool result = FileNavigator::process(dir);
    for (long i = m_visitedDirs.size() - 1; i >= 0; --i) {
        const SString& visited = m_visitedDirs.at(i);
        bool aboveFailure = false;
        for (const SString& failed : m_failedDirs) {
            if (isSameOrBelow(failed, visited)) {
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
    logMessage("Could not delete " + path + " :  " + strerror(errorNumber), LOG_WARNING);
}
