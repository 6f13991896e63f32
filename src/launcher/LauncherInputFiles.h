#pragma once
// Everything the launcher reads before it acts: the appended file index, the
// instructions, the launch script, the JVM descriptors and the verifier class.

#include <cstdio>
#include <memory>

#include "base/PtrDeque.h"
#include "inputfiles/FileIndex.h"
#include "inputfiles/TagFile.h"
#include "jvm/JVMFiles.h"
#include "launch/LaunchScript.h"
#include "launcher/Instructions.h"

class LauncherInputFiles {
public:
    LauncherInputFiles();
    ~LauncherInputFiles();
    LauncherInputFiles(const LauncherInputFiles&) = delete;
    LauncherInputFiles& operator=(const LauncherInputFiles&) = delete;

    // Reads the launcher's appended index and, with `loadTagFiles`, builds the objects
    // from the embedded tag files. Takes effect once; a failure leaves it not loaded.
    void load(bool loadTagFiles);
    // Takes the instructions, launch script, verifier, title and descriptors named by an
    // input file. Descriptors added before a failure stay.
    void load(const TagFile& inputFile);
    void loadTagFiles(FILE* stream);
    void loadFileIndex(FILE* stream, long indexOffset);
    // Loads a tag file from disk and keeps it; throws without keeping it on failure.
    TagFile& loadTagFile(const SString& fileName);
    // Writes every embedded file and a replaying "input.tag" into the current directory as
    // new files. Throws LauncherException naming the first name that exists already (a
    // symbolic link included) before anything is written.
    void extractAll() const;

    const FileIndexEntry* getFileAt(long index) const { return m_fileIndex.at(index); }
    const FileIndexEntry* getFile(long id) const { return m_fileIndex.getFile(id); }
    std::vector<const FileIndexEntry*> entriesOfType(FileType type) const {
        return m_fileIndex.entriesOfType(type);
    }
    long getFileCount() const { return m_fileIndex.size(); }
    bool isLoaded() const { return m_loaded; }
    // Whether the launcher file ends with appended data (its trailer was found).
    bool hasAppendedData() const { return m_hasAppendedData; }

    // Back to the state of a new object.
    void clear();

    FileIndex m_fileIndex;
    TagFilePtrDeque m_tagFiles;
    std::unique_ptr<Instructions> m_instructions;
    std::unique_ptr<LaunchScript> m_launchScript;
    JVMFiles m_jvmFiles;
    bool m_jvmFilesLoaded = false;
    bool m_loaded = false;
    bool m_hasAppendedData = false;
};
