#pragma once
// The characters Java takes in identifiers, as the JDK's Character class defines them, and
// the UTF-8 decoding that class names in manifests need.

#include <vector>

#include "base/SString.h"

// Whether the code point `c` may start a Java identifier (a letter, a currency symbol or a
// connecting punctuation such as "_").
bool isJavaIdentifierStart(unsigned c);
// Whether `c` may follow in one (also digits and combining marks). The control
// characters Java ignores in identifiers are not taken.
bool isJavaIdentifierPart(unsigned c);
// The code points of the UTF-8 text `text`; false when it is not valid UTF-8 (overlong
// forms and surrogates included).
bool decodeUtf8(const SString& text, std::vector<unsigned>& codePoints);
