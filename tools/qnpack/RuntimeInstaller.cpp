#include "qnpack/RuntimeInstaller.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/LauncherException.h"
#include "base/StdioFile.h"
#include "platform/PlatformImpl.h"
#include "platform/os/FileIdentity.h"
#include "platform/os/FileMode.h"
#include "platform/os/SystemError.h"

namespace {

// The script in front of the archive. @ID@, @VERSION@ and @OFFSET@ are filled in; the
// offset has a fixed width so that the script's length does not depend on it.
const char* const kScript = R"SH(#!/bin/sh
# Installs the Java runtime appended to this script. Run by the launcher in the directory
# where it expects the JVM: the runtime is unpacked once into the per-user cache and
# linked here; with no usable cache it is unpacked here, for this run only.
id='@ID@'
offset=@OFFSET@
self=$0
case "${QNLAUNCH_CACHE:-}" in
    off) cache= ;;
    '') if [ -n "${XDG_CACHE_HOME:-}" ]; then cache=$XDG_CACHE_HOME/qnlaunch
        elif [ -n "${HOME:-}" ]; then cache=$HOME/.cache/qnlaunch
        else cache=; fi ;;
    *) cache=$QNLAUNCH_CACHE ;;
esac
unpack() {
    tail -c +"$offset" "$self" | gzip -dc | tar -xf - -C "$1"
}
# A directory of the cache is used only when it is the user's own, no link, and writable
# by nobody else.
private() {
    [ -d "$1" ] && [ ! -L "$1" ] && [ -O "$1" ] &&
        [ -z "$(find "$1" -prune \( -perm -020 -o -perm -002 \) -print)" ]
}
home=
if [ -n "$cache" ]; then
    (umask 077 && mkdir -p "$cache/runtimes") 2>/dev/null
    if private "$cache" && private "$cache/runtimes"; then
        home=$cache/runtimes/$id
        if [ ! -x "$home/bin/java" ]; then
            # Unpacked under a name of its own and renamed, so runs at the same time never
            # see half a runtime.
            tmp=$cache/runtimes/.$id.$$
            rm -rf "$tmp"
            if mkdir -m 700 "$tmp" && unpack "$tmp" && [ ! -e "$home" ]; then
                mv "$tmp" "$home" 2>/dev/null
            fi
            rm -rf "$tmp" "$home/.$id.$$"
            [ -x "$home/bin/java" ] || home=
        fi
    fi
fi
if [ -n "$home" ]; then
    for entry in "$home"/*; do ln -s "$entry" . || exit 1; done
else
    unpack . || exit 1
fi
cat > jvm <<'EOF'
DESC: Bundled Java @VERSION@
JVM_EXE: bin/java
CLASSPATH: "-cp "
CLASSPATH_SEPARATOR: :
SYSTEM: -D
SYSTEM_SEPARATOR: =
JVM_PROPERTIES: java.version=@VERSION@
EOF
exit 0
)SH";

const int kOffsetWidth = 12;

void replaceAll(SString& text, const SString& from, const SString& to) {
    for (size_t p = text.find(from); p != SString::npos; p = text.find(from, p + to.size())) {
        text.replace(p, from.size(), to);
    }
}

// `value` as width - 1 octal digits and a NUL; false when it does not fit.
bool octal(char* field, size_t width, unsigned long long value) {
    field[width - 1] = '\0';
    for (size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    return value == 0;
}

// Where an archive's bytes go; throws LauncherException when a write fails.
class ArchiveOutput {
public:
    virtual ~ArchiveOutput() = default;
    virtual void write(const char* data, size_t size) = 0;
    // Writes what is pending and closes the output.
    virtual void finish() = 0;
};

class GzipOutput : public ArchiveOutput {
public:
    explicit GzipOutput(const SString& path) : m_path(path), m_out(gzopen(path.c_str(), "wb6")) {
        if (!m_out) throw LauncherException(path + ": cannot be written");
    }
    ~GzipOutput() override {
        if (m_out) gzclose(m_out);
    }
    GzipOutput(const GzipOutput&) = delete;
    GzipOutput& operator=(const GzipOutput&) = delete;
    void write(const char* data, size_t size) override {
        if (size && gzwrite(m_out, data, static_cast<unsigned>(size)) != static_cast<int>(size)) {
            throw LauncherException(m_path + ": cannot be written");
        }
    }
    void finish() override {
        const int status = gzclose(m_out);
        m_out = nullptr;
        if (status != Z_OK) throw LauncherException(m_path + ": cannot be written");
    }

private:
    SString m_path;
    gzFile m_out;
};

// A plain file, removed again unless it is finished; only a regular file is removed, never
// a device or a pipe that was named as the output.
class PlainOutput : public ArchiveOutput {
public:
    explicit PlainOutput(const SString& path)
        : m_path(path), m_out(PlatformImpl::openFile(path, "wb")) {
        if (!m_out) fail();
        m_regular = isRegularFile(fileno(m_out.get()));
    }
    ~PlainOutput() override {
        if (m_finished) return;
        m_out.close();
        if (m_regular) PlatformImpl::deleteFile(m_path);
    }
    PlainOutput(const PlainOutput&) = delete;
    PlainOutput& operator=(const PlainOutput&) = delete;
    void write(const char* data, size_t size) override {
        if (fwrite(data, 1, size, m_out.get()) != size) fail();
    }
    void finish() override {
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

class TarWriter {
public:
    // With `recordTimes` false every member gets time 0, so that the same tree always
    // gives the same bytes.
    TarWriter(ArchiveOutput& out, bool recordTimes) : m_out(out), m_recordTimes(recordTimes) {}

    // Adds the tree below `dir` with names relative to it; links are followed, so the
    // archive holds what they point to. A link back to a directory above it is refused.
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
        std::sort(names.begin(), names.end());
        for (const SString& name : names) {
            const SString path = dir + "/" + name;
            const SString archived = prefix + name;
            FileFacts facts;
            if (!fileFacts(path, true, facts)) continue;  // a dangling link
            if (facts.isDirectory) {
                header(archived + "/", '5', facts.permissions, 0, facts.mtime);
                addTree(path, archived + "/");
            } else if (facts.isRegular) {
                addFile(path, archived, facts);
            }
        }
        m_above.pop_back();
    }

    void finish() {
        char zeros[1024] = {};
        m_out.write(zeros, sizeof zeros);
        m_out.finish();
    }

private:
    void header(const SString& name, char type, unsigned mode, unsigned long long size,
                long long mtime) {
        char block[512];
        if (!tarHeader(name, type, mode, size, m_recordTimes ? mtime : 0, block)) {
            throw LauncherException(
                name + ": the path is too long, or the file too large, for the runtime archive");
        }
        m_out.write(block, sizeof block);
    }

    void addFile(const SString& path, const SString& name, const FileFacts& facts) {
        StdioFile in = PlatformImpl::openFile(path, "rb");
        if (!in) throw LauncherException(path + ": cannot be read");
        header(name, '0', facts.permissions, facts.size, facts.mtime);
        char buffer[65536];
        unsigned long long left = facts.size;
        while (left > 0) {
            size_t n =
                fread(buffer, 1, std::min<unsigned long long>(sizeof buffer, left), in.get());
            if (n == 0) throw LauncherException(path + ": cannot be read");
            m_out.write(buffer, n);
            left -= n;
        }
        char padding[512] = {};
        m_out.write(padding, (512 - facts.size % 512) % 512);
    }

    ArchiveOutput& m_out;
    bool m_recordTimes;
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

SString writeRuntimeArchive(const SString& runtimeDir, const SString& path) {
    const SString version = runtimeVersion(runtimeDir);
    PlainOutput out(path);
    TarWriter tar(out, false);
    tar.addTree(runtimeDir, SString());
    tar.finish();
    return version;
}

BundledRuntime writeRuntimeInstaller(const SString& runtimeDir, const SString& path) {
    BundledRuntime runtime;
    runtime.version = runtimeVersion(runtimeDir);
    const SString archive = path + ".tar.gz";
    {
        GzipOutput out(archive);
        TarWriter tar(out, true);
        tar.addTree(runtimeDir, SString());
        tar.finish();
    }
    const SString payload = readWhole(archive);
    PlatformImpl::deleteFile(archive);
    const unsigned long crc =
        crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(payload.data()),
              static_cast<uInt>(payload.size()));
    char checksum[16];
    snprintf(checksum, sizeof checksum, "%08lx", crc);
    runtime.id = runtime.version + "-" + checksum;

    SString script = kScript;
    replaceAll(script, "@ID@", runtime.id);
    replaceAll(script, "@VERSION@", runtime.version);
    SString offset(kOffsetWidth, '0');
    replaceAll(script, "@OFFSET@", offset);
    // tail -c +N starts at byte N, counted from 1.
    snprintf(&offset[0], kOffsetWidth + 1, "%0*lu", kOffsetWidth,
             static_cast<unsigned long>(script.size() + 1));
    replaceAll(script, SString(kOffsetWidth, '0'), offset);
    runtime.installer = script;

    StdioFile out = PlatformImpl::openFile(path, "wb");
    if (!out || fwrite(script.data(), 1, script.size(), out.get()) != script.size() ||
        fwrite(payload.data(), 1, payload.size(), out.get()) != payload.size() ||
        fflush(out.get()) != 0) {
        throw LauncherException(path + ": cannot be written");
    }

    runtime.descriptor = "DESC: Bundled Java " + runtime.version +
                         "\n"
                         "JVM_EXE: bin/java\n"
                         "CLASSPATH: \"-cp \"\n"
                         "CLASSPATH_SEPARATOR: :\n"
                         "SYSTEM: -D\n"
                         "SYSTEM_SEPARATOR: =\n"
                         "JVM_PROPERTIES: java.version=" +
                         runtime.version +
                         "\n"
                         "PATH_HINT:\n"
                         "  #QNLAUNCH_CACHE#/runtimes/" +
                         runtime.id +
                         "\n"
                         "  #XDG_CACHE_HOME#/qnlaunch/runtimes/" +
                         runtime.id +
                         "\n"
                         "  #HOME#/.cache/qnlaunch/runtimes/" +
                         runtime.id +
                         "\n"
                         "/:\n";
    return runtime;
}
