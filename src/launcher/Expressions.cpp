// Expressions of the instruction language: variable references replaced in a text, read
// as a number, a boolean or a (possibly quoted) string.

#include "base/ArgumentParsing.h"
#include "base/LauncherException.h"
#include "base/TextLines.h"
#include "launcher/Instructions.h"
#include "launcher/VariableRef.h"

void Instructions::evalExpr(SString& text, const SString& prefix) {
    const SString m = prefix + " ";
    if (text.empty()) throwException(m + "Empty expression.");
    long substitutions = 0;
    size_t work = 0;
    bool replaced = true;
    while (replaced) {
        replaced = false;
        size_t start = text.find('@');
        while (start != SString::npos) {
            size_t end = text.find('@', start + 1);
            if (end == SString::npos) throwException(m + "Invalid variable specification.");
            if (end > start + 1) {
                VariableRef ref;
                ref.init(text.substr(start + 1, end - start - 1), prefix);
                text.replace(start, end - start + 1, ref.getStringValue());
                replaced = true;
                work += text.size();
                if (++substitutions > kMaxSubstitutions || text.size() > kMaxExpressionSize ||
                    work > kMaxSubstitutionWork) {
                    throwException(m +
                                   "Variable substitution does not end; a variable refers "
                                   "to itself.");
                }
            } else {
                text.erase(end, 1);
            }
            start = text.find('@', start + 1);
        }
    }
}

long Instructions::evalLongExpr(const SString& text, const SString& prefix) {
    SString copy = text;
    evalExpr(copy, prefix);
    long value = -1;
    if (!convertToLong(copy, value))
        throwException(prefix + "Invalid numeric expression (" + copy + ")");
    return value;
}

short Instructions::evalShortExpr(const SString& text, const SString& prefix) {
    SString copy = text;
    evalExpr(copy, prefix);
    short value = -1;
    if (!convertToShort(copy, value)) {
        throwException(prefix + " Invalid numeric expression (" + copy + ")");
    }
    return value;
}

bool Instructions::evalBoolExpr(const SString& text, const SString& prefix) {
    long value = evalLongExpr(text, prefix);
    if (value == 0) return false;
    if (value == 1) return true;
    throwException(prefix + " Invalid boolean value (" + text + ")");
}

void Instructions::evalStringExpr(SString& text, const SString& prefix) {
    if (text.empty()) return;
    size_t position;
    if (text[0] == '"') {
        position = 1;
        text = parseStringArgument(text, position, true);
    } else {
        position = 0;
        text = parseStringArgument(text, position, false);
    }
    if (text.empty()) throwException(prefix + " " + "Empty expression.");
    evalExpr(text, prefix);
}

void Instructions::evalStringExpr(const SString& line, size_t& pos, SString& out,
                                  const SString& prefix) {
    scanStringArgument(line, pos, out, prefix);
    evalStringExpr(out, prefix);
}

void Instructions::scanStringArgument(const SString& line, size_t& pos, SString& out,
                                      const SString& prefix) {
    out.clear();
    bool leadingBlanks = true;
    bool quoted = false;
    bool stop = false;
    bool closed = false;
    long quoteRun = 0;
    while (pos < line.size() && !stop) {
        const char c = line[pos++];
        if (leadingBlanks) {
            if (isWhitespace(c)) continue;
            leadingBlanks = false;
            out += c;
            quoted = c == '"';
        } else if (quoted) {
            out += c;
            if (c == '"') {
                ++quoteRun;
                if (quoteRun % 2 == 1 && (pos >= line.size() || line[pos] != '"')) {
                    stop = true;
                    closed = true;
                }
            } else {
                quoteRun = 0;
            }
        } else if (isWhitespace(c)) {
            stop = true;
        } else {
            out += c;
        }
    }
    if (quoted && !closed) {
        throw LauncherException("Expected ending quote in " + out + ":  " + prefix);
    }
}
