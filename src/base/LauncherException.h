#pragma once
// The one exception type by which launcher failures travel: a ready message text.

#include "base/SString.h"

class LauncherException {
public:
    explicit LauncherException(const SString& message) : m_message(message) {}
    virtual ~LauncherException() = default;

    const SString& getMessage() const { return m_message; }

private:
    SString m_message;
};
