#include "qnpack/ManifestChecks.h"

#include <cstdio>

#include "qnpack/JavaIdentifiers.h"

namespace {

// The keywords and literals javac refuses as identifiers.
const char* const kReservedWords[] = {
    "abstract", "assert", "boolean",    "break",     "byte",       "case",      "catch",
    "char",     "class",  "const",      "continue",  "default",    "do",        "double",
    "else",     "enum",   "extends",    "final",     "finally",    "float",     "for",
    "goto",     "if",     "implements", "import",    "instanceof", "int",       "interface",
    "long",     "native", "new",        "package",   "private",    "protected", "public",
    "return",   "short",  "static",     "strictfp",  "super",      "switch",    "synchronized",
    "this",     "throw",  "throws",     "transient", "try",        "void",      "volatile",
    "while",    "_",      "true",       "false",     "null",
};
// Names javac refuses for a class, though they may name a package.
const char* const kRestrictedTypeNames[] = {"var", "yield", "record", "sealed", "permits"};

template <size_t N>
bool isOneOf(const SString& word, const char* const (&words)[N]) {
    for (const char* w : words) {
        if (word == w) return true;
    }
    return false;
}

// Why `segment` is not a Java identifier; empty when it is.
SString identifierProblem(const SString& segment) {
    if (segment.empty()) return "it has an empty name between separators";
    std::vector<unsigned> codePoints;
    if (!decodeUtf8(segment, codePoints)) return shownValue(segment) + " is not valid UTF-8";
    for (size_t i = 0; i < codePoints.size(); ++i) {
        const bool fits =
            i == 0 ? isJavaIdentifierStart(codePoints[i]) : isJavaIdentifierPart(codePoints[i]);
        if (!fits) {
            return shownValue(segment) + " is not a Java identifier";
        }
    }
    if (isOneOf(segment, kReservedWords)) return segment + " is a reserved word of Java";
    return SString();
}

// Why `name` is not a qualified name (identifiers separated by any of `separators`).
SString qualifiedNameProblem(const SString& name, const char* separators) {
    size_t start = 0;
    while (true) {
        const size_t end = name.find_first_of(separators, start);
        const SString problem = identifierProblem(
            name.substr(start, end == SString::npos ? SString::npos : end - start));
        if (!problem.empty()) return problem;
        if (end == SString::npos) return SString();
        start = end + 1;
    }
}

SString moduleNameProblem(const SString& name) {
    return qualifiedNameProblem(name, ".");
}

}  // namespace

SString shownValue(const SString& text) {
    SString shown;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '\n') {
            shown += "\\n";
        } else if (c == '\r') {
            shown += "\\r";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (c == '\0') {
            shown += "\\0";
        } else if (u < 0x20 || u == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", u);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::vector<SString> blankSeparated(const SString& value) {
    std::vector<SString> words;
    size_t at = 0;
    while ((at = value.find_first_not_of(" \t", at)) != SString::npos) {
        size_t end = value.find_first_of(" \t", at);
        if (end == SString::npos) end = value.size();
        words.push_back(value.substr(at, end - at));
        at = end;
    }
    return words;
}

SString classNameProblem(const SString& name) {
    if (name.empty()) return "it is empty";
    // java would take such a word as one of its own options (-version, -jar ...).
    if (name[0] == '-') return "it starts with -, so java would read it as an option";
    const SString problem = qualifiedNameProblem(name, "./");
    if (!problem.empty()) return problem;
    const size_t last = name.find_last_of("./");
    const SString simple = last == SString::npos ? name : name.substr(last + 1);
    if (isOneOf(simple, kRestrictedTypeNames)) return simple + " cannot name a class";
    return SString();
}

SString dottedClassName(const SString& name) {
    SString dotted = name;
    for (char& c : dotted) {
        if (c == '/') c = '.';
    }
    return dotted;
}

SString modulePackagesProblem(const SString& value) {
    const std::vector<SString> pairs = blankSeparated(value);
    if (pairs.empty()) return "it names no MODULE/PACKAGE pair";
    for (const SString& pair : pairs) {
        const size_t slash = pair.find('/');
        if (slash == SString::npos) return shownValue(pair) + " is not MODULE/PACKAGE";
        const SString module = pair.substr(0, slash);
        const SString package = pair.substr(slash + 1);
        SString problem = moduleNameProblem(module);
        if (problem.empty()) problem = qualifiedNameProblem(package, ".");
        if (!problem.empty()) return shownValue(pair) + " is not MODULE/PACKAGE: " + problem;
    }
    return SString();
}

std::vector<SString> moduleList(const SString& value) {
    std::vector<SString> modules;
    size_t at = 0;
    while ((at = value.find_first_not_of(" \t,", at)) != SString::npos) {
        size_t end = value.find_first_of(" \t,", at);
        if (end == SString::npos) end = value.size();
        modules.push_back(value.substr(at, end - at));
        at = end;
    }
    return modules;
}

SString moduleListProblem(const SString& value) {
    const std::vector<SString> modules = moduleList(value);
    if (modules.empty()) return "it names no module";
    for (const SString& module : modules) {
        if (module == "ALL-UNNAMED") continue;
        const SString problem = moduleNameProblem(module);
        if (!problem.empty()) {
            return shownValue(module) + " is neither ALL-UNNAMED nor a module name: " + problem;
        }
    }
    return SString();
}
