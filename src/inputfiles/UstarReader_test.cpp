// The runtime archive is read in place from a byte range of the bundle; anything but plain
// files and directories with names below the root, and any damage, is refused.

#include "inputfiles/UstarReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "base/LauncherException.h"
#include "base/UniqueFd.h"
#include "support/TestKit.h"
#include "support/UstarBuilder.h"

using testkit::UstarBuilder;

namespace {

// `archive` in a file between other bytes, as a bundle holds it.
class ArchiveFile {
public:
    explicit ArchiveFile(const SString& archive, const SString& before = SString(700, 'B')) {
        testkit::writeFile(m_dir.file("bundle"), before + archive + SString(300, 'A'));
        m_fd.reset(open(m_dir.file("bundle").c_str(), O_RDONLY | O_CLOEXEC));
        m_offset = static_cast<long long>(before.size());
        m_length = static_cast<long long>(archive.size());
    }
    UstarReader reader() const { return UstarReader(m_fd.get(), m_offset, m_length); }
    SString bytesAt(long long offset, long long size) const {
        SString bytes(static_cast<size_t>(size), '\0');
        EXPECT_EQ(pread(m_fd.get(), &bytes[0], bytes.size(), offset), size);
        return bytes;
    }

private:
    testkit::ScopedTempDir m_dir;
    UniqueFd m_fd;
    long long m_offset = 0;
    long long m_length = 0;
};

// The message with which reading `archive` fails; empty when it is read to its end.
SString refusal(const SString& archive) {
    ArchiveFile file(archive);
    UstarReader reader = file.reader();
    UstarEntry entry;
    try {
        while (reader.next(entry)) {
        }
    } catch (const LauncherException& e) {
        return e.getMessage();
    }
    return SString();
}

}  // namespace

TEST(UstarReader, MembersComeInOrderWithTheirPlacesInTheFile) {
    const SString deep = SString(60, 'd') + "/" + SString(60, 'e') + "/" + SString(30, 'f');
    const SString archive = UstarBuilder::runtime("hello")
                                .file("empty", "")
                                .file("block", SString(512, 'b'), 0600)
                                .file(deep, "deep")
                                .bytes();
    ArchiveFile file(archive);
    UstarReader reader = file.reader();
    UstarEntry entry;
    std::vector<SString> names;
    std::map<SString, UstarEntry> byName;
    while (reader.next(entry)) {
        names.push_back(entry.name);
        byName[entry.name] = entry;
    }
    EXPECT_EQ(names, (std::vector<SString>{"bin", "bin/java", "lib", "lib/modules", "empty",
                                           "block", deep}));
    EXPECT_TRUE(byName["bin"].isDirectory);
    const UstarEntry& java = byName["bin/java"];
    EXPECT_FALSE(java.isDirectory);
    EXPECT_EQ(java.mode, 0755u);
    EXPECT_EQ(file.bytesAt(java.offset, java.size), "#!/bin/sh\necho hello\n");
    EXPECT_EQ(file.bytesAt(byName["block"].offset, byName["block"].size), SString(512, 'b'));
    EXPECT_EQ(byName["block"].mode, 0600u);
    EXPECT_EQ(byName["empty"].size, 0);
    EXPECT_EQ(file.bytesAt(byName[deep].offset, byName[deep].size), "deep");
    // The end stays the end.
    EXPECT_FALSE(reader.next(entry));
}

TEST(UstarReader, RefusesWhatIsNotAPlainMemberBelowTheRoot) {
    struct Case {
        const char* what;
        SString archive;
        const char* message;
    };
    const SString file = UstarBuilder().file("a", "x").bytes();
    const std::vector<Case> cases = {
        {"parent", UstarBuilder().file("../escape", "x").bytes(), "has a \"..\" component"},
        {"parent inside", UstarBuilder().file("bin/../../x", "x").bytes(), "\"..\" component"},
        {"absolute", UstarBuilder().file("/etc/passwd", "x").bytes(), "whose name is absolute"},
        {"dot", UstarBuilder().file("./a", "x").bytes(), "has a \".\" component"},
        {"empty component", UstarBuilder().file("a//b", "x").bytes(), "has an empty component"},
        {"file with slash", UstarBuilder().file("a/", "x").bytes(), "has an empty component"},
        {"empty name", UstarBuilder().file("", "x").bytes(), "whose name is empty"},
        {"prefix with ..",
         UstarBuilder().file("../" + SString(90, 'p') + "/" + SString(20, 'n'), "x").bytes(),
         "\"..\" component"},
        {"NUL inside", UstarBuilder().file("java", "x").patchHeader(5, SString("\0x", 2)).bytes(),
         "has a name with a NUL inside"},
        {"wrong checksum", UstarBuilder().file("a", "x").patchHeader(0, "b", true).bytes(),
         "has a wrong checksum"},
        {"other magic",
         UstarBuilder().file("a", "x").patchHeader(257, SString("ustar  \0", 8)).bytes(),
         "is no ustar header"},
        {"unreadable size", UstarBuilder().file("a", "x").patchHeader(124, "0000000001x").bytes(),
         "unreadable mode or size"},
        {"base-256 size",
         UstarBuilder().file("a", "x").patchHeader(124, SString("\x80\0\0\0", 4)).bytes(),
         "unreadable mode or size"},
        {"directory with size", UstarBuilder().member("d/", '5', 0755, "x").bytes(),
         "a directory with a size"},
        {"size past the end", UstarBuilder().file("a", "x").patchHeader(124, "00000020000").bytes(),
         "go past the archive's end"},
        {"no end marker", UstarBuilder().file("a", "x").bytes(false), "is cut short at byte 1024"},
        {"half an end marker", UstarBuilder().file("a", "x").bytes(false) + SString(512, '\0'),
         "is cut short at byte 1536"},
        {"lone zero block", UstarBuilder().raw(SString(512, '\0')).file("a", "x").bytes(),
         "byte 0 is empty"},
        {"header cut short", file.substr(0, 300), "is cut short at byte 0"},
    };
    for (const Case& c : cases) {
        const SString message = refusal(c.archive);
        EXPECT_NE(message.find(c.message), SString::npos) << c.what << ": " << message;
    }
    for (char type : {'1', '2', '3', '4', '6', '7', 'x', 'g', 'L', 'K'}) {
        const SString message = refusal(UstarBuilder().member("link", type, 0777, "").bytes());
        EXPECT_NE(
            message.find("\"link\" at byte 0, which is neither a regular file nor a directory"),
            SString::npos)
            << type << ": " << message;
    }
}

TEST(UstarReader, AMemberPastTheRangeIsRefusedEvenWhenTheFileGoesOn) {
    // The range ends inside the second member: the bytes after it in the file do not count.
    const SString archive = UstarBuilder().file("a", "x").file("b", SString(2000, 'y')).bytes();
    ArchiveFile file(archive.substr(0, 512 * 3));
    UstarReader reader = file.reader();
    UstarEntry entry;
    EXPECT_TRUE(reader.next(entry));
    try {
        reader.next(entry);
        FAIL() << "no refusal";
    } catch (const LauncherException& e) {
        EXPECT_NE(e.getMessage().find("\"b\" at byte 1024, whose bytes go past the archive's end"),
                  SString::npos)
            << e.getMessage();
    }
    // Once refused, it stays refused.
    EXPECT_THROW(reader.next(entry), LauncherException);
    EXPECT_THROW(UstarReader(0, -1, 10), LauncherException);
}
