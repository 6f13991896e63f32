#include "base/Paths.h"

#include "base/TextLines.h"

void appendPathSeparator(SString& path) {
    if (!path.empty() && stringEndsWith(path, kPathSeparator) == SString::npos) {
        path += kPathSeparator;
    }
}
