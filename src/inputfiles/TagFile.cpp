#include "inputfiles/TagFile.h"

#include <cerrno>
#include <cstring>

#include "base/ArgumentParsing.h"
#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/StdioFile.h"
#include "base/TextLines.h"
#include "inputfiles/LineReading.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"

TagFile::TagFile(const SString& fileName) {
    StdioFile file = PlatformImpl::openInputFile(fileName);
    if (!file) throw LauncherException("Unable to load input file: " + fileName);
    load(file.get(), fileName, 0, -1);
}

void TagFile::load(const SString& bytes, const SString& name) {
    if (bytes.empty()) {
        m_fileName = name;
        m_lineNumber = 0;
        m_loaded = true;
        return;
    }
    StdioFile stream = PlatformImpl::openTextStream(bytes);
    if (!stream) throw LauncherException("Unable to read tag file.");
    load(stream.get(), name, 0, -1);
}

bool TagFile::readLine(FILE* stream, SString& line) {
    ++m_lineNumber;
    return readInputLine(stream, line, m_bytesRead, m_fileName);
}

void TagFile::load(FILE* stream, const SString& name, long offset, long length) {
    m_fileName = name;
    m_lineNumber = 0;
    m_bytesRead = 0;
    // A pipe cannot be positioned, and needs not be when the whole stream is read.
    if (fseek(stream, offset, SEEK_SET) != 0 && !(offset == 0 && length < 0 && errno == ESPIPE)) {
        throw LauncherException("Unable to read tag file.");
    }

    while (!feof(stream)) {
        if (length >= 0 && ftell(stream) >= offset + length) break;
        SString line;
        readLine(stream, line);
        if (line.empty()) continue;

        size_t colon = line.find(':');
        if (colon == SString::npos) {
            logSyntaxError("Missing colon at the end of the tag name.", m_fileName, m_lineNumber);
        }
        SString tagName = line.substr(0, colon);
        trim(tagName, whitespaceChars);
        removeValue(tagName.c_str());

        if (colon + 1 == line.size()) {
            readBlock(stream, tagName, m_lineNumber);
            continue;
        }
        size_t start = line.find_first_not_of(whitespaceChars, colon + 1);
        SString value;
        if (line[start] == '"') {
            size_t position = start + 1;
            value = parseStringArgument(line, position, true);
        } else {
            // The line becomes the value without a copy: a value may be megabytes long.
            line.erase(0, start);
            value = std::move(line);
        }
        appendMovedValue(tagName.c_str(), std::move(value));
    }
    m_loaded = true;
}

void TagFile::readBlock(FILE* stream, const SString& name, long tagLine) {
    for (;;) {
        if (feof(stream)) logSyntaxError("Missing /: tag completer.", m_fileName, tagLine);
        SString line;
        readLine(stream, line);
        if (!line.empty() && line[0] == '"') {
            size_t position = 1;
            line = parseStringArgument(line, position, true);
        }
        if (line.empty()) continue;
        if (line == "/:") return;
        appendMovedValue(name.c_str(), std::move(line));
    }
}

TagFileEntry* TagFile::findEntry(const char* name) const {
    auto found = m_index.find(name);
    return found == m_index.end() ? nullptr : m_entries[found->second].get();
}

TagFileEntry& TagFile::addEntry(const char* name) {
    m_entries.push_back(std::make_unique<TagFileEntry>(name));
    m_index[name] = m_entries.size() - 1;
    return *m_entries.back();
}

std::vector<const TagFileEntry*> TagFile::entries() const {
    std::vector<const TagFileEntry*> result;
    result.reserve(m_entries.size() - m_removedCount);
    for (const auto& entry : m_entries) {
        if (entry) result.push_back(entry.get());
    }
    return result;
}

const StringDeque* TagFile::getValue(const char* name) const {
    TagFileEntry* entry = findEntry(name);
    return entry ? &entry->m_values : nullptr;
}

SString TagFile::getTagValue(const char* name, unsigned index) const {
    const StringDeque* values = getValue(name);
    return values ? values->at(index) : SString();
}

long TagFile::getTagValueCount(const char* name) const {
    const StringDeque* values = getValue(name);
    return values ? values->size() : 0;
}

bool TagFile::getBoolTagValue(const char* name, bool defaultValue) const {
    SString value = getTagValue(name, 0);
    if (value.empty()) return defaultValue;
    // A number outside the 16-bit range counts as non-zero; a word keeps the default.
    long number = 0;
    if (sscanf(value.c_str(), "%ld", &number) != 1) return defaultValue;
    return number != 0;
}

void TagFile::setTagValue(const char* name, const SString& value) {
    TagFileEntry* entry = findEntry(name);
    if (!entry) {
        addEntry(name).m_values.push_back(value);
        return;
    }
    StringDeque& values = entry->m_values;
    while (values.size() > 1) values.erase(values.size() - 1);
    if (values.empty()) {
        values.push_back(value);
    } else {
        values.ref(0) = value;
    }
}

void TagFile::appendTagValue(const char* name, const SString& value) {
    appendMovedValue(name, SString(value));
}

void TagFile::appendMovedValue(const char* name, SString&& value) {
    TagFileEntry* entry = findEntry(name);
    if (!entry) entry = &addEntry(name);
    entry->m_values.push_back(std::move(value));
}

void TagFile::setBoolTagValue(const char* name, bool value) {
    setTagValue(name, value ? "1" : "0");
}

void TagFile::removeValue(const char* name) {
    auto found = m_index.find(name);
    if (found == m_index.end()) return;
    m_entries[found->second].reset();
    m_index.erase(found);
    // Empty slots are squeezed out once they are the majority, which keeps a file that
    // redefines its tags over and over linear too.
    if (++m_removedCount * 2 <= m_entries.size()) return;
    size_t kept = 0;
    for (auto& entry : m_entries) {
        if (!entry) continue;
        m_index[entry->m_name] = kept;
        m_entries[kept++] = std::move(entry);
    }
    m_entries.resize(kept);
    m_removedCount = 0;
}

void TagFile::setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temporary) {
    setTagValue("JVM_HOME", jvmHome);
    setTagValue("JVM_FILE", jvmFile);
    setBoolTagValue("JVM_TEMP", temporary);
}

static bool needsQuotes(const SString& value) {
    return value.empty() || isWhitespace(value.front()) || isWhitespace(value.back()) ||
           value.find('"') != SString::npos;
}

std::unique_ptr<TagFile> TagFile::clone() const {
    auto copy = std::make_unique<TagFile>();
    for (const TagFileEntry* entry : entries()) {
        TagFileEntry& added = copy->addEntry(entry->m_name.c_str());
        for (const SString& value : entry->m_values) added.m_values.push_back(value);
    }
    copy->m_loaded = m_loaded;
    copy->m_lineNumber = m_lineNumber;
    copy->m_fileName = m_fileName;
    return copy;
}

void TagFile::write(const SString& path) const {
    StdioFile file = PlatformImpl::openForRewriting(path);
    const bool written = file && write(file.get()) && PlatformImpl::endFileHere(file.get());
    const int error = errno;
    if (!written || !file.close()) {
        throw LauncherException(PlatformImpl::writeErrorText(written ? errno : error));
    }
}

bool TagFile::write(FILE* out) const {
    for (const TagFileEntry* entry : entries()) {
        const StringDeque& values = entry->m_values;
        if (values.empty()) continue;
        fwrite(entry->m_name.data(), 1, entry->m_name.size(), out);
        fputc(':', out);
        if (values.size() > 1) fputc('\n', out);
        for (const SString& value : values) {
            SString line = "  ";
            if (needsQuotes(value)) {
                line += '"';
                for (char c : value) {
                    if (c == '"') line += '"';
                    line += c;
                }
                line += '"';
            } else {
                line += value;
            }
            line += '\n';
            fwrite(line.data(), 1, line.size(), out);
        }
        if (values.size() > 1) fputs("/:\n", out);
    }
    return fflush(out) == 0 && !ferror(out);
}

void TagFile::logSyntaxError(const SString& message, const SString& fileName, long line) const {
    SString text =
        "Syntax error in " + fileName + " at line " + convertToString(line) + " ==> " + message;
    logMessage(text, LOG_ERROR);
    throw LauncherException(text);
}
