#pragma once
// Everything the launcher reads before it acts: the appended file index, the
// instructions, the launch script, the JVM descriptors and the verifier class.

#include <cstdio>
#include <memory>

#include "base/PtrDeque.h"
#include "inputfiles/ApplicationArchive.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/BundleContext.h"
#include "inputfiles/ClassPathArchives.h"
#include "inputfiles/RuntimeFiles.h"
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

    // The running launcher's file and the one the user started, which the bundle, the
    // runtime files and the application archive belong to; set before anything loads.
    void setLauncherFiles(const SString& launcherFile, const SString& originalLauncherFile);
    // What the objects built here know of the running launcher.
    const BundleContext& context() const { return m_context; }
    // The run's application archive.
    ApplicationArchive& applicationArchive() { return *m_applicationArchive; }

    // Opens the launcher's file once, reads its appended index and, with `loadTagFiles`,
    // builds the objects from the embedded tag files. Takes effect once; a failure leaves
    // it not loaded.
    void load(bool loadTagFiles);
    // Whether the embedded launch script sets LAUNCHER_OPTIONS_FIRST, read before the
    // command line is handled: opens the bundle as load() would (load then goes on from
    // there), and parses only that script. False when the file, its index or the script
    // cannot be read: load() reports those.
    bool launcherOptionsFirst();
    // Takes the instructions, launch script, verifier, title and descriptors named by an
    // input file. Descriptors added before a failure stay.
    void load(const TagFile& inputFile);
    // Loads a tag file from disk and keeps it; throws without keeping it on failure.
    TagFile& loadTagFile(const SString& fileName);
    // Writes every embedded file and a replaying "input.tag" into the current directory as
    // new files. Throws LauncherException naming the first name that exists already (a
    // symbolic link included) before anything is written.
    void extractAll() const;

    const FileIndexEntry* getFileAt(long index) const { return index_().at(index); }
    const FileIndexEntry* getFile(long id) const { return index_().getFile(id); }
    std::vector<const FileIndexEntry*> entriesOfType(FileType type) const {
        return index_().entriesOfType(type);
    }
    long getFileCount() const { return index_().size(); }
    bool isLoaded() const { return m_loaded; }
    // Whether the launcher file ends with appended data (its trailer was found).
    bool hasAppendedData() const { return m_bundle && m_bundle->hasAppendedData(); }
    // The bundle, once load() has opened it; null before.
    const Bundle* bundle() const { return m_bundle.get(); }

    // Back to the state of a new object.
    void clear();

    std::unique_ptr<Bundle> m_bundle;
    TagFilePtrDeque m_tagFiles;
    std::unique_ptr<Instructions> m_instructions;
    std::unique_ptr<LaunchScript> m_launchScript;
    JVMFiles m_jvmFiles;
    bool m_jvmFilesLoaded = false;
    bool m_loaded = false;
    // The bundle's index has been read whole.
    bool m_indexRead = false;

private:
    const FileIndex& index_() const;
    // Opens the bundle and reads its index, once; throws as Bundle does.
    void openBundle();
    // Builds the objects from the embedded tag files of the loaded bundle.
    void loadTagFiles();
    // Points the context at the current parts.
    void refreshContext();
    // Takes `script` as the run's launch script: what it uses of the embedded archives is
    // extracted while a verification runs.
    void setLaunchScript(std::unique_ptr<LaunchScript> script);

    BundleContext m_context;
    std::unique_ptr<RuntimeFiles> m_runtimeFiles;
    std::unique_ptr<ApplicationArchive> m_applicationArchive;
    std::unique_ptr<ClassPathArchives> m_classPathArchives;
};
