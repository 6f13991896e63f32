#pragma once
// Deletes a directory tree bottom-up; what cannot be removed is logged and left, with
// the directories above it.

#include "platform/FileNavigator.h"

class DeleteFullDir : public FileNavigator {
public:
    DeleteFullDir() : FileNavigator(false) {}

    bool process(const SString& dir) override;
    bool processFile(const SString& path) override;

private:
    StringDeque m_failedDirs;
};

// Removes a file or an empty directory; logs a warning and returns false on failure.
bool deleteOneFile(const SString& path);
void logDeleteFileFailure(const SString& path, int errorNumber);
