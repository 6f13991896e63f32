#pragma once
// Expands delimited macros in a text: a subclass replaces each macro, inserted values are
// scanned again, and doubled delimiters become single ones.

#include <cstddef>

#include "base/ExpansionBounds.h"
#include "base/SString.h"

class MacroHandler {
public:
    // Bounds of one resolve: a value that refers to itself stops here with an error.
    static constexpr long kMaxReplacements = 100000 / kExpansionBoundDivisor;
    static constexpr size_t kMaxResultSize = (16u << 20) / kExpansionBoundDivisor;
    // Every replacement moves and rescans up to the whole text, so the sum of the text's
    // length over all replacements is bounded too: a self-referring value that grows the
    // text stops after a fraction of a second instead of after minutes of copying.
    static constexpr unsigned long long kMaxScannedBytes = (1ull << 30) / kExpansionBoundDivisor;

    virtual ~MacroHandler() = default;

    // A copy of `text` with every macro of `delimiter` replaced. Throws LauncherException
    // when the expansion passes the bounds above, and whatever processMacro throws.
    SString resolve(const SString& text, char delimiter) const;

    // Replaces the macro whose delimiters stand at `start` and `end` (which it may move past
    // arguments that follow); must remove or replace the delimiter at `start`, or throw.
    virtual void processMacro(SString& text, char delimiter, size_t start, size_t& end) const = 0;
};
