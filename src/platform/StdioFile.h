#pragma once
// An owned C stream, closed when it goes out of scope.

#include <cstdio>

#include "inputfiles/SString.h"

class StdioFile {
public:
    StdioFile() = default;
    StdioFile(const SString& path, const char* mode) : m_file(fopen(path.c_str(), mode)) {}
    explicit StdioFile(FILE* file) : m_file(file) {}
    ~StdioFile() { close(); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    explicit operator bool() const { return m_file != nullptr; }
    FILE* get() const { return m_file; }
    // Closes the stream; returns false when flushing or closing failed.
    bool close() {
        bool ok = true;
        if (m_file) ok = fclose(m_file) == 0;
        m_file = nullptr;
        return ok;
    }

private:
    FILE* m_file = nullptr;
};
