#include "qnpack/RuntimeArchive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "inputfiles/TagFile.h"
#include "inputfiles/UstarReader.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"
#include "qnpack/PackChecks.h"

namespace {

// The name of the descriptor at the archive's root.
const char* const kDescriptorName = "jvm";
// A descriptor is a few hundred bytes; one past this is no descriptor.
constexpr size_t kDescriptorLimit = 1 << 20;

// `value` as width - 1 octal digits and a NUL; false when it does not fit.
bool octal(char* field, size_t width, unsigned long long value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    return value == 0;
}

// A plain file, removed again unless it is finished; only a regular file is removed, never
// a device or a pipe that was named as the output.
class PlainOutput {
public:
    explicit PlainOutput(const SString& path)
        : m_path(path), m_out(PlatformImpl::openFile(path, "wb")) {
        if (!m_out) fail();
        m_regular = isRegularFile(fileno(m_out.get()));
    }
    ~PlainOutput() {
        if (m_finished) return;
        m_out.close();
        if (m_regular) PlatformImpl::deleteFile(m_path);
    }
    PlainOutput(const PlainOutput&) = delete;
    PlainOutput& operator=(const PlainOutput&) = delete;
    // Writes all of `data`; throws LauncherException when that fails.
    void write(const char* data, size_t size) {
        if (fwrite(data, 1, size, m_out.get()) != size) fail();
    }
    // Closes the file, which is kept from then on; throws LauncherException when that fails.
    void finish() {
        if (!m_out.close()) fail();
        m_finished = true;
    }

private:
    [[noreturn]] void fail() {
        throw LauncherException(systemErrorText(m_path + ": cannot be written: ", errno));
    }
    SString m_path;
    StdioFile m_out;
    bool m_regular = false;
    bool m_finished = false;
};

// Writes members with time 0 and no owner, so that the same tree always gives the same
// bytes.
class TarWriter {
public:
    explicit TarWriter(PlainOutput& out) : m_out(out) {}

    // Adds the tree below `dir` with names relative to it, and at its top the file
    // `extraName` holding `extra` (refused when the tree has an entry of that name); links
    // are followed, so the archive holds what they point to. A link back to a directory
    // above it is refused.
    void addRoot(const SString& dir, const SString& extraName, const SString& extra) {
        m_extraName = extraName;
        m_extra = extra;
        addTree(dir, SString());
    }

    void finish() {
        char zeros[1024] = {};
        m_out.write(zeros, sizeof zeros);
        m_out.finish();
    }

private:
    void addTree(const SString& dir, const SString& prefix) {
        FileIdentity identity;
        if (!fileIdentity(dir.c_str(), identity)) {
            throw LauncherException(systemErrorText(dir + ": ", errno));
        }
        for (const FileIdentity& above : m_above) {
            if (above.device == identity.device && above.inode == identity.inode) {
                throw LauncherException(dir +
                                        ": a link that leads back to a directory above it; the "
                                        "runtime cannot be archived");
            }
        }
        m_above.push_back(identity);
        std::vector<SString> names;
        if (!PlatformImpl::listDirectory(dir, names)) {
            throw LauncherException(systemErrorText(dir + ": ", errno));
        }
        const bool top = prefix.empty();
        if (top) {
            if (std::find(names.begin(), names.end(), m_extraName) != names.end()) {
                throw LauncherException(dir + ": it holds an entry named " + m_extraName +
                                        ", the name of the descriptor the archive carries");
            }
            names.push_back(m_extraName);
        }
        std::sort(names.begin(), names.end());
        for (const SString& name : names) {
            if (top && name == m_extraName) {
                addText(name, m_extra);
                continue;
            }
            const SString path = dir + "/" + name;
            const SString archived = prefix + name;
            FileFacts facts;
            if (!fileFacts(path, true, facts)) continue;  // a dangling link
            if (facts.isDirectory) {
                header(archived + "/", '5', facts.permissions, 0);
                addTree(path, archived + "/");
            } else if (facts.isRegular) {
                addFile(path, archived, facts);
            }
        }
        m_above.pop_back();
    }

    void header(const SString& name, char type, unsigned mode, unsigned long long size) {
        char block[512];
        if (!tarHeader(name, type, mode, size, 0, block)) {
            throw LauncherException(
                name + ": the path is too long, or the file too large, for the runtime archive");
        }
        m_out.write(block, sizeof block);
    }

    void addFile(const SString& path, const SString& name, const FileFacts& facts) {
        StdioFile in = PlatformImpl::openFile(path, "rb");
        if (!in) throw LauncherException(path + ": cannot be read");
        header(name, '0', facts.permissions, facts.size);
        char buffer[65536];
        unsigned long long left = facts.size;
        while (left > 0) {
            size_t n =
                fread(buffer, 1, std::min<unsigned long long>(sizeof buffer, left), in.get());
            if (n == 0) throw LauncherException(path + ": cannot be read");
            m_out.write(buffer, n);
            left -= n;
        }
        pad(facts.size);
    }

    void addText(const SString& name, const SString& text) {
        header(name, '0', 0644, text.size());
        m_out.write(text.data(), text.size());
        pad(text.size());
    }

    // Fills the last block of a member's bytes.
    void pad(unsigned long long size) {
        char padding[512] = {};
        m_out.write(padding, (512 - size % 512) % 512);
    }

    PlainOutput& m_out;
    SString m_extraName;
    SString m_extra;
    // The directories from the top of the tree down to the one being added.
    std::vector<FileIdentity> m_above;
};

SString readWhole(const SString& path) {
    StdioFile file = PlatformImpl::openFile(path, "rb");
    SString text;
    if (!file) return text;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, n);
    return text;
}

}  // namespace

bool tarHeader(const SString& name, char type, unsigned mode, unsigned long long size,
               long long mtime, char header[512]) {
    memset(header, 0, 512);
    SString prefix;
    SString last = name;
    if (name.size() > 100) {
        // Split at a slash: up to 155 bytes of prefix, up to 100 of name.
        size_t slash = name.rfind('/', name.size() - 2);
        while (slash != SString::npos && (slash > 155 || name.size() - slash - 1 > 100)) {
            slash = slash ? name.rfind('/', slash - 1) : SString::npos;
            if (slash != SString::npos && name.size() - slash - 1 > 100) return false;
        }
        if (slash == SString::npos) return false;
        prefix = name.substr(0, slash);
        last = name.substr(slash + 1);
    }
    memcpy(header, last.data(), last.size());
    octal(header + 100, 8, mode & 07777);
    octal(header + 108, 8, 0);
    octal(header + 116, 8, 0);
    if (!octal(header + 124, 12, size)) return false;
    octal(header + 136, 12, static_cast<unsigned long long>(mtime < 0 ? 0 : mtime));
    memset(header + 148, ' ', 8);
    header[156] = type;
    memcpy(header + 257, "ustar", 6);
    memcpy(header + 263, "00", 2);
    memcpy(header + 345, prefix.data(), prefix.size());
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i) sum += static_cast<unsigned char>(header[i]);
    octal(header + 148, 7, sum);
    header[155] = ' ';
    return true;
}

SString releaseValue(const SString& releaseText, const SString& key) {
    size_t at = 0;
    while (at < releaseText.size()) {
        size_t end = releaseText.find('\n', at);
        if (end == SString::npos) end = releaseText.size();
        const SString line = releaseText.substr(at, end - at);
        at = end + 1;
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        SString value = line.substr(key.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return SString();
}

SString runtimeVersion(const SString& runtimeDir) {
    FileFacts java;
    if (!fileFacts(runtimeDir + "/bin/java", true, java) || !java.isRegular) {
        throw LauncherException("--runtime " + runtimeDir +
                                ": no bin/java there; give a JDK or an image made with jlink");
    }
    const SString version = releaseValue(readWhole(runtimeDir + "/release"), "JAVA_VERSION");
    if (version.empty() ||
        version.find_first_not_of("0123456789._-+abcdefghijklmnopqrstuvwxyz") != SString::npos) {
        throw LauncherException("--runtime " + runtimeDir +
                                ": its release file names no JAVA_VERSION; give a JDK or an "
                                "image made with jlink");
    }
    return version;
}

SString runtimeDescriptor(const SString& version) {
    return "DESC: Bundled Java " + version +
           "\n"
           "JVM_EXE: bin/java\n"
           "CLASSPATH: \"-cp \"\n"
           "CLASSPATH_SEPARATOR: :\n"
           "SYSTEM: -D\n"
           "SYSTEM_SEPARATOR: =\n"
           "JVM_PROPERTIES: java.version=" +
           version + "\n";
}

SString writeRuntimeArchive(const SString& runtimeDir, const SString& path) {
    const SString version = runtimeVersion(runtimeDir);
    PlainOutput out(path);
    TarWriter tar(out);
    tar.addRoot(runtimeDir, kDescriptorName, runtimeDescriptor(version));
    tar.finish();
    return version;
}

void checkRuntimeArchive(const SString& path, std::vector<SString>& problems) {
    SString problem;
    StdioFile file = PlatformImpl::openPlainFile(path, problem);
    FileFacts facts;
    if (file && !fileFacts(fileno(file.get()), facts)) problem = systemErrorText("", errno);
    if (!file || !problem.empty()) {
        problems.push_back(path + ": cannot be read: " + problem);
        return;
    }
    const int fd = fileno(file.get());
    bool java = false;
    SString text;
    bool descriptor = false;
    try {
        UstarReader archive(fd, 0, facts.size);
        UstarEntry entry;
        while (archive.next(entry)) java = java || (!entry.isDirectory && entry.name == "bin/java");
        descriptor = readUstarMember(fd, 0, facts.size, kDescriptorName, kDescriptorLimit, text);
    } catch (const LauncherException& e) {
        problems.push_back(path + ": " + e.getMessage());
        return;
    }
    if (!java) problems.push_back(path + ": the runtime archive holds no bin/java");
    if (!descriptor) {
        problems.push_back(path + ": the runtime archive holds no descriptor \"jvm\" at its root");
        return;
    }
    const SString name = path + ":jvm";
    TagFile tags;
    try {
        tags.load(text, name);
    } catch (const LauncherException& e) {
        const SString& message = e.getMessage();
        const size_t arrow = message.find(" ==> ");
        problems.push_back(name + " line " + convertToString(tags.getLineNumber()) + ": " +
                           (arrow == SString::npos ? message : message.substr(arrow + 5)));
        return;
    }
    if (tags.getTagValue("JVM_EXE", 0).empty()) {
        problems.push_back(name + ": the descriptor names no JVM_EXE");
    }
    checkJVMDescriptor(name, tags, problems);
}
