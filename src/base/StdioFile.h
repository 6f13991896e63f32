#pragma once
// An owned C stream, closed when it goes out of scope. Streams are opened by the platform
// layer (PlatformImpl::openFile).

#include <cstdio>

class StdioFile {
public:
    StdioFile() = default;
    explicit StdioFile(FILE* file) : m_file(file) {}
    ~StdioFile() { close(); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;
    StdioFile(StdioFile&& other) noexcept : m_file(other.m_file) { other.m_file = nullptr; }
    StdioFile& operator=(StdioFile&& other) noexcept {
        if (this != &other) {
            close();
            m_file = other.m_file;
            other.m_file = nullptr;
        }
        return *this;
    }

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
