#pragma once
// The parts of a command that starts a JVM, read from its words: the JVM options before
// the main class, the class path they give (or the jar of -jar, or $CLASSPATH), and the
// rest. What a class-data archive is keyed by and made with comes from here.

#include <vector>

#include "base/SString.h"

struct JavaCommand {
    // The program, then every word as it is.
    std::vector<SString> words;
    // The options between the program and the main class (or -jar JAR), values included.
    std::vector<SString> options;
    // The application class path: of -cp, -classpath or --class-path (the last one), else
    // the jar of -jar, else $CLASSPATH; split at ':'.
    std::vector<SString> classPath;

    // Reads `words` (a program and its arguments); false, with `problem` saying why, for a
    // command whose JVM options cannot be told apart (an @argument file), that starts a
    // module, or that gives no main class or jar.
    bool read(const std::vector<SString>& words, SString& problem);

    // The options a JVM making an archive for this command is given: those that shape what
    // the archive holds or how it is mapped (heap, garbage collector, modules, properties,
    // -XX flags); not the class path, -jar, logging, agents nor what only prints.
    std::vector<SString> dumpOptions() const;
    // The class path as one -cp value.
    SString joinedClassPath() const;
};

// Whether the JVM option `word` takes the next word as its value (-cp X, --add-opens X).
bool optionTakesValue(const SString& word);
