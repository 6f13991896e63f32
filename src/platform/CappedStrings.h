#pragma once
// A capture sink that keeps at most `limit` bytes of each stream of a child and stops the
// child past that, for runs whose useful output is short (a verification).

#include "base/SString.h"
#include "platform/PlatformImpl.h"

class CappedStrings : public CaptureSink {
public:
    CappedStrings(SString& stdOut, SString& errOut, size_t limit)
        : m_targets{&stdOut, &errOut}, m_limit(limit) {}
    bool received(int stream, const char* data, size_t size) override {
        SString& target = *m_targets[stream == 1 ? 0 : 1];
        if (target.size() + size > m_limit) return false;
        target.append(data, size);
        return true;
    }

private:
    SString* m_targets[2];
    size_t m_limit;
};
