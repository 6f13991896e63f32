#include "platform/shell/ShellLiterals.h"

#include <cstring>
#include <vector>

#include "platform/shell/ShellWords.h"

namespace {

// A marker: kOpen, the value's index as digits kDigit0 .. kDigit0 + 15, kClose.
constexpr char kOpen = '\x01';
constexpr char kClose = '\x02';
constexpr unsigned char kDigit0 = 0x10;

enum class Quote { None, Single, Double };

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

// Characters that stand for themselves in an unquoted word wherever it stands.
bool isPlain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           strchr("_-./,:+@%", c) != nullptr;
}

SString singleQuoted(const SString& text) {
    SString result = "'";
    for (char c : text) result += c == '\'' ? SString("'\\''") : SString(1, c);
    return result + "'";
}

// `value` for its place in shell text whose quoting state there is `quote`.
void appendQuoted(SString& out, const SString& value, ShellLiterals::Kind kind, Quote quote) {
    if (quote == Quote::Double) {
        out += escapeForShellQuotes(value);
    } else if (quote == Quote::Single) {
        for (char c : value) out += c == '\'' ? SString("'\\''") : SString(1, c);
    } else if (kind == ShellLiterals::Word) {
        if (!value.empty()) out += quoteShellWord(value);
    } else {
        // Each run of blanks separates words (a line feed must not end the command); each
        // word is quoted on its own.
        size_t i = 0;
        while (i < value.size()) {
            size_t end = i;
            if (isBlank(value[i])) {
                while (end < value.size() && isBlank(value[end])) ++end;
                out += ' ';
            } else {
                while (end < value.size() && !isBlank(value[end])) ++end;
                out += quoteShellWord(value.substr(i, end - i));
            }
            i = end;
        }
    }
}

}  // namespace

SString quoteShellWord(const SString& text) {
    if (text.empty()) return "''";
    for (char c : text) {
        if (!isPlain(c)) return singleQuoted(text);
    }
    return text;
}

SString ShellLiterals::mark(const SString& value, Kind kind) {
    size_t index = m_values.size();
    m_values.push_back(Value{value, kind});
    SString digits;
    do {
        digits.insert(digits.begin(), static_cast<char>(kDigit0 + (index & 0xF)));
        index >>= 4;
    } while (index != 0);
    return kOpen + digits + kClose;
}

const ShellLiterals::Value* ShellLiterals::markerAt(const SString& text, size_t position,
                                                    size_t& end) const {
    if (text[position] != kOpen) return nullptr;
    size_t index = 0;
    size_t i = position + 1;
    for (; i < text.size() && text[i] != kClose; ++i) {
        const unsigned char digit = static_cast<unsigned char>(text[i]) - kDigit0;
        if (digit > 0xF || index > (m_values.size() >> 4)) return nullptr;
        index = index * 16 + digit;
    }
    if (i >= text.size() || i == position + 1 || index >= m_values.size()) return nullptr;
    end = i + 1;
    return &m_values[index];
}

SString ShellLiterals::quote(const SString& command) const {
    // Each command substitution, $(...) or `...`, starts a quoting context of its own: a
    // value in "$(dirname "...")" stands inside the inner double quotes.
    struct Context {
        Quote quote;
        bool backquoted;  // a `...` substitution, which ends at the next backquote
        int parentheses;  // open ( inside a $(...) substitution
    };
    std::vector<Context> contexts{{Quote::None, false, 0}};
    int backquoteDepth = 0;
    SString out;
    for (size_t i = 0; i < command.size();) {
        size_t end;
        if (const Value* value = markerAt(command, i, end)) {
            SString piece;
            appendQuoted(piece, value->text, value->kind, contexts.back().quote);
            // Text between backquotes loses one level of backslashes before it is parsed.
            for (int level = 0; level < backquoteDepth; ++level) {
                SString escaped;
                for (char c : piece) {
                    if (c == '\\' || c == '`' || c == '$') escaped += '\\';
                    escaped += c;
                }
                piece = escaped;
            }
            out += piece;
            i = end;
            continue;
        }
        const char c = command[i++];
        out += c;
        Context& context = contexts.back();
        if (context.quote == Quote::Single) {
            if (c == '\'') context.quote = Quote::None;
        } else if (c == '\\' && i < command.size() && command[i] != kOpen) {
            out += command[i++];  // escaped: no quote starts or ends here
        } else if (c == '"') {
            context.quote = context.quote == Quote::Double ? Quote::None : Quote::Double;
        } else if (c == '\'' && context.quote == Quote::None) {
            context.quote = Quote::Single;
        } else if (c == '$' && i < command.size() && command[i] == '(') {
            out += command[i++];
            contexts.push_back({Quote::None, false, 0});
        } else if (c == '`') {
            if (context.backquoted) {
                contexts.pop_back();
                --backquoteDepth;
            } else {
                contexts.push_back({Quote::None, true, 0});
                ++backquoteDepth;
            }
        } else if (contexts.size() > 1 && !context.backquoted && context.quote == Quote::None) {
            if (c == '(') {
                ++context.parentheses;
            } else if (c == ')' && context.parentheses > 0) {
                --context.parentheses;
            } else if (c == ')') {
                contexts.pop_back();
            }
        }
    }
    return out;
}

std::vector<SString> ShellLiterals::split(const SString& command) const {
    std::vector<SString> words;
    SString word;
    bool inWord = false;
    Quote quote = Quote::None;
    auto endWord = [&]() {
        if (inWord) words.push_back(word);
        word.clear();
        inWord = false;
    };
    for (size_t i = 0; i < command.size();) {
        size_t end;
        if (const Value* value = markerAt(command, i, end)) {
            i = end;
            if (quote != Quote::None || value->kind == Word) {
                word += value->text;
                inWord = inWord || quote != Quote::None || !value->text.empty();
                continue;
            }
            for (char c : value->text) {
                if (isBlank(c)) {
                    endWord();
                } else {
                    word += c;
                    inWord = true;
                }
            }
            continue;
        }
        const char c = command[i++];
        if (quote == Quote::Single) {
            if (c == '\'') {
                quote = Quote::None;
            } else {
                word += c;
            }
        } else if (quote == Quote::Double) {
            if (c == '"') {
                quote = Quote::None;
            } else if (c == '\\' && i < command.size() && strchr("\"$`\\\n", command[i])) {
                if (command[i] != '\n') word += command[i];
                ++i;
            } else {
                word += c;
            }
        } else if (isBlank(c)) {
            endWord();
        } else if (c == '\\' && i < command.size()) {
            if (command[i] != '\n') {
                word += command[i];
                inWord = true;
            }
            ++i;
        } else if (c == '\'' || c == '"') {
            quote = c == '\'' ? Quote::Single : Quote::Double;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    endWord();
    return words;
}

SString ShellLiterals::plain(const SString& text) const {
    SString out;
    for (size_t i = 0; i < text.size();) {
        size_t end;
        if (const Value* value = markerAt(text, i, end)) {
            out += value->text;
            i = end;
        } else {
            out += text[i++];
        }
    }
    return out;
}

size_t ShellLiterals::plainPosition(const SString& text, size_t position) const {
    size_t shifted = position;
    for (size_t i = 0; i < text.size() && i < position;) {
        size_t end;
        if (const Value* value = markerAt(text, i, end)) {
            shifted = shifted - (end - i) + value->text.size();
            i = end;
        } else {
            ++i;
        }
    }
    return shifted;
}
