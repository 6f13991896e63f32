#pragma once
// Generates the tag files of a bundle from an application jar: a launch script that runs
// the main class the way `java -jar` would, instructions that find a JVM or end with a
// failure status, and the discovery descriptor "Java N or newer".

#include <vector>

#include "base/SString.h"

// What the packer's command line says about the application.
struct AppOptions {
    SString mainJar;
    SString mainClass;            // empty: the manifest's Main-Class
    bool classPathGiven = false;  // --class-path replaces the manifest's Class-Path
    std::vector<SString> classPath;
    SString java;  // a version constraint; empty: what the main class needs
    std::vector<SString> javaOptions;
    SString name;      // empty: the jar's base name without ".jar"
    bool gui = false;  // show the status display instead of a quiet tool
    SString runtime;   // a runtime to install when no JVM fits
};

// The application resolved against its jar, and the generated files.
struct AppBundle {
    SString mainClass;
    std::vector<SString> classPath;  // jars to embed, in class-path order
    std::vector<SString> warnings;
    SString javaConstraint;  // e.g. "17+"
    SString descriptorName;  // e.g. "java-17+.jvm"
    SString instructions;
    SString launchScript;
    SString descriptor;
};

// The --name, else the jar's base name without ".jar".
SString applicationName(const AppOptions& options);

// Reads the jar's manifest and main class and generates the files. Throws
// LauncherException with a message that says what to give instead.
AppBundle generateAppBundle(const AppOptions& options);

// The discovery descriptor for a version constraint such as "17+" or "11..17".
SString jvmDescriptorText(const SString& constraint);
// "java-17+.jvm" for "17+".
SString jvmDescriptorFileName(const SString& constraint);

// `text` as a shell word that keeps its bytes (the text holds no macro delimiter).
SString launchCommandWord(const SString& text);
// `value` as the value of a single-line tag: quoted, inner quotes doubled, when needed.
SString tagValueText(const SString& value);
