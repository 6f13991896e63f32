#pragma once
// Values that must reach a program as the bytes they are, whatever they hold: paths found or
// given at run time and environment values. While a command is built each stands in its
// text as a marker that no macro pass or quote touches; once the text is final, quote()
// puts every value in, quoted for the shell context around its marker, or split() makes the
// program's arguments without any shell.

#include <vector>

#include "base/SString.h"

class ShellLiterals {
public:
    enum Kind {
        // One word, or part of the word around it, in any context (a path).
        Word,
        // Outside quotes it splits at blanks into several words, as an unquoted variable
        // would, but is never expanded, globbed or taken for shell syntax.
        Words,
    };

    // The marker that stands for `value` in a command text: control bytes that no tag
    // file, macro or quote uses.
    SString mark(const SString& value, Kind kind);

    // `command` as shell text: each marker replaced by its value quoted for its place.
    // Unquoted, a value becomes single-quoted words (plain words stay bare); inside "..." its
    // " $ ` \ get a backslash; inside '...' each ' closes, is escaped and reopens the quote.
    // A $(...) or `...` substitution is a context of its own; a `case` pattern's ")" inside
    // $(...) and a \" inside backquotes are not followed, so markers do not belong there.
    SString quote(const SString& command) const;
    // The words the shell would make of `command` if it only removed quotes and backslash
    // escapes: nothing expands, markers give their values' bytes.
    std::vector<SString> split(const SString& command) const;
    // `text` with each marker replaced by its bare value, for text that reaches no shell.
    SString plain(const SString& text) const;
    // Where position `position` of `text` lies in plain(text).
    size_t plainPosition(const SString& text, size_t position) const;

    void clear() { m_values.clear(); }

private:
    struct Value {
        SString text;
        Kind kind;
    };
    // The value whose marker starts at `position`, or null; `end` is set behind the marker.
    const Value* markerAt(const SString& text, size_t position, size_t& end) const;

    std::vector<Value> m_values;
};

// `text` as one single-quoted shell word, or bare when it holds only characters that the
// shell takes as they are.
SString quoteShellWord(const SString& text);
