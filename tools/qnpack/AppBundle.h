#pragma once
// Generates the tag files of a bundle from an application jar: a launch script that runs
// the main class the way `java -jar` would, instructions that find a JVM or end with a
// failure status, and the discovery descriptor "Java N or newer".

#include <vector>

#include "base/SString.h"
#include "qnpack/ClassPath.h"

// What the packer's command line says about the application.
struct AppOptions {
    SString mainJar;
    SString mainClass;            // empty: the manifest's Main-Class
    bool classPathGiven = false;  // --class-path replaces the manifest's Class-Path
    std::vector<SString> classPath;
    SString java;  // a version constraint; empty: what the main class needs
    std::vector<SString> javaOptions;
    SString name;                 // empty: the jar's base name without ".jar"
    SString bundleName;           // the bundle file's base name; empty: the name above
    bool gui = false;             // show the status display instead of a quiet tool
    SString runtime;              // a runtime to install when no JVM fits
    bool runtimeArchive = false;  // one given as an archive (--runtime-archive)
    bool systemJars = false;      // reference the jars under systemPrefix by path
    SString systemPrefix;         // empty: /usr/share/java
    bool preferNewest = false;    // the newest JVM in the usual places before the PATH's
};

// The application resolved against its jar, and the generated files.
struct AppBundle {
    SString mainClass;
    // Every jar of the class path but the main jar, in class-path order: the embedded
    // ones and the references.
    std::vector<ClassPathJar> classPath;
    bool mainJarHasClassPath = false;  // its copy is embedded without the attribute
    bool mainJarSigned = false;        // then it is embedded as it is
    std::vector<SString> warnings;
    // What refuses the application (a manifest value, a class-path entry): when any is
    // here, nothing is to be written and the generated files are empty.
    std::vector<SString> problems;
    SString javaConstraint;         // e.g. "17+"
    SString descriptorName;         // e.g. "java-17+.jvm"
    bool shippedDescriptor = true;  // a shipped descriptor of that name may stand in
    SString instructions;
    SString launchScript;
    SString descriptor;
};

// The --name, else the jar's base name without ".jar".
SString applicationName(const AppOptions& options);
// The environment variable of the bundle's own JVM options: its name (the bundle file's
// base name, else the application's) upper-cased, every character but A-Z and 0-9 as "_",
// then "_OPTS" ("my-tool" gives MY_TOOL_OPTS).
SString optionsVariableName(const AppOptions& options);

// Reads the jar's manifest, main class and class path, and generates the files. Throws
// LauncherException with a message that says what to give instead when the application
// cannot be made out; what is refused in the manifests goes to `problems`.
AppBundle generateAppBundle(const AppOptions& options);

// The discovery descriptor for a version constraint such as "17+" or "11..17": JAVA_HOME,
// the java on the PATH, then the usual places newest first; with `preferNewest`, the usual
// places before the java on the PATH.
SString jvmDescriptorText(const SString& constraint, bool preferNewest = false);
// "java-17+.jvm" for "17+".
SString jvmDescriptorFileName(const SString& constraint);

// `text` as a shell word that keeps its bytes (the text holds no macro delimiter).
SString launchCommandWord(const SString& text);
// `value` as the value of a single-line tag: quoted, inner quotes doubled, when needed.
SString tagValueText(const SString& value);
