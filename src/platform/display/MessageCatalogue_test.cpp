#include "platform/display/MessageCatalogue.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

namespace {

const char* const kCodes[kLanguageCount] = {
    "en", "cs", "da", "de", "el", "es",    "fi", "fr", "hu", "it", "ja",
    "ko", "nl", "no", "pl", "pt", "pt_BR", "ru", "sv", "tr", "zh", "zh_TW",
};

// Rows that carry the one "%s" argument, and rows whose blanks join them to
// neighbouring output.
const std::set<int> kFormatRows = {1, 2, 3, 5, 6, 7, 10, 11, 12, 14};
const std::set<int> kTrailingBlankRows = {24, 26, 27, 36};
const std::set<int> kLeadingBlankRows = {37};

// Texts that name something the user types or sees literally and so must survive translation.
struct Literal {
    int row;
    const char* text;
};
const Literal kLiterals[] = {
    {25, "-log"}, {30, "'-in'"}, {33, "-in"}, {37, "-qn:tempdir"}, {35, "Quenlid"},
};

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

size_t leadingBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? text.size() : first;
}

size_t trailingBlanks(const std::string& text) {
    const size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? text.size() : text.size() - 1 - last;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        int extra = 0;
        unsigned long cp = 0, minimum = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Converts exactly, without transliteration; returns the iconv error text on failure.
std::string convertError(const std::string& text, const char* codeset) {
    iconv_t cd = iconv_open(codeset, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string("iconv_open: ") + strerror(errno);
    std::string in = text;
    std::string out(text.size() * 4 + 16, '\0');
    char* inp = &in[0];
    char* outp = &out[0];
    size_t inLeft = in.size(), outLeft = out.size();
    std::string error;
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &outp, &outLeft) == static_cast<size_t>(-1)) {
        error = strerror(errno) + (" at byte " + std::to_string(inp - &in[0]));
    }
    iconv_close(cd);
    return error;
}

// Runs `check` on every message row of every table, naming the table and row on failure.
template <typename Check>
void forEachRow(Check check) {
    for (int t = 0; t < kLanguageCount; ++t) {
        for (int row = 0; row < kMessageRowCount; ++row) {
            SCOPED_TRACE(std::string(kCodes[t]) + " row " + std::to_string(row));
            check(t, row, std::string(msg_locale_table[t][row]));
        }
    }
}

class MessageCatalogue : public ::testing::Test {
protected:
    // Later tests index rows freely, so stop here if the shape itself is wrong.
    void SetUp() override {
        for (int t = 0; t < kLanguageCount; ++t) {
            ASSERT_NE(msg_locale_table[t], nullptr) << "table " << t;
            for (int row = 0; row < kMessageRowCount; ++row)
                ASSERT_NE(msg_locale_table[t][row], nullptr) << kCodes[t] << " row " << row;
        }
    }
};

TEST_F(MessageCatalogue, HasEveryLanguageInOrderWithAllRowsThenNull) {
    EXPECT_EQ(msg_locale_table[kLanguageCount], nullptr);
    for (int t = 0; t < kLanguageCount; ++t) {
        EXPECT_STREQ(msg_locale_table[t][0], kCodes[t]);
        EXPECT_EQ(msg_locale_table[t][kMessageRowCount], nullptr) << kCodes[t];
    }
}

TEST_F(MessageCatalogue, FormatArgumentsAndEdgeBlanksMatchTheMessageLayout) {
    forEachRow([](int, int row, const std::string& text) {
        if (row == 0) return;
        const bool format = kFormatRows.count(row) > 0;
        EXPECT_EQ(occurrences(text, "%s"), format ? 1 : 0);
        EXPECT_EQ(occurrences(text, "%"), format ? 1 : 0);

        EXPECT_EQ(leadingBlanks(text), kLeadingBlankRows.count(row));
        EXPECT_EQ(trailingBlanks(text), kTrailingBlankRows.count(row));
        // A no-break space would pass the legacy conversion yet look like a stray blank.
        EXPECT_EQ(text.find("\xC2\xA0"), std::string::npos);
    });
}

TEST_F(MessageCatalogue, KeepsFixedTextsAndOptionNames) {
    for (int t = 0; t < kLanguageCount; ++t) {
        SCOPED_TRACE(kCodes[t]);
        const char* const* table = msg_locale_table[t];
        EXPECT_STREQ(table[13], "LauncherMain");
        EXPECT_STREQ(table[18], ".");
        for (const Literal& literal : kLiterals)
            EXPECT_NE(std::string(table[literal.row]).find(literal.text), std::string::npos)
                << "row " << literal.row << " lacks " << literal.text;
        EXPECT_EQ(occurrences(table[35], "\\n"), 2);
    }
}

TEST_F(MessageCatalogue, EveryRowIsValidUtf8AndFitsTheCustomaryCodeset) {
    forEachRow([](int t, int, const std::string& text) {
        EXPECT_TRUE(isValidUtf8(text));
        EXPECT_EQ(convertError(text, customaryCodeset(t)), "") << customaryCodeset(t);
    });
}

TEST(MessageCatalogueUtf8, RejectsMalformedSequences) {
    EXPECT_TRUE(isValidUtf8("K\xC3\xA4ytt\xC3\xA4j\xC3\xA4 \xE4\xB8\xAD"));
    for (const char* bad :
         {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "a\x80"})
        EXPECT_FALSE(isValidUtf8(bad)) << bad;
}

TEST(MessageCatalogueIconv, ReportsCharactersTheCodesetLacks) {
    EXPECT_EQ(convertError("caf\xC3\xA9", "ISO-8859-1"), "");
    EXPECT_NE(convertError("\xE2\x80\xA6", "ISO-8859-1"), "");  // ellipsis
    EXPECT_NE(convertError("\xC5\x93", "ISO-8859-1"), "");      // ligature oe
}

}  // namespace
