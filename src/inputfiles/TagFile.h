#pragma once
// Tag files, the format of every textual input: named tags with ordered text values,
// read from a stream or a byte range of one, queried, changed and written back.

#include <cstdio>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"

class TagFileEntry {
public:
    explicit TagFileEntry(const SString& name) : m_name(name) {}

    SString m_name;
    StringDeque m_values;
};

class TagFile {
public:
    TagFile() = default;
    // Loads the named file. Throws LauncherException "Unable to load input file: " + name.
    explicit TagFile(const SString& fileName);
    virtual ~TagFile() = default;

    // Reads tags from `offset` until the end of the stream or, when `length` is not
    // negative, until a tag line would start at or past offset + length. On a syntax
    // error the tags read before it stay and the file is not marked loaded.
    void load(FILE* stream, const SString& name, long offset, long length);
    // Reads the tags of the text `bytes`, named `name` in messages, as load does a stream.
    void load(const SString& bytes, const SString& name);
    // Appends the next trimmed line to `line` and counts it. False at the end of the stream.
    bool readLine(FILE* stream, SString& line);
    bool isLoaded() const { return m_loaded; }
    const SString& getFileName() const { return m_fileName; }
    // Lines read by the last load, up to and including the one that failed.
    long getLineNumber() const { return m_lineNumber; }

    const StringDeque* getValue(const char* name) const;
    SString getTagValue(const char* name, unsigned index) const;
    long getTagValueCount(const char* name) const;
    bool getBoolTagValue(const char* name, bool defaultValue) const;

    void setTagValue(const char* name, const SString& value);
    void appendTagValue(const char* name, const SString& value);
    void setBoolTagValue(const char* name, bool value);
    void removeValue(const char* name);
    void setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool temporary);

    // A copy with the same tags and values.
    std::unique_ptr<TagFile> clone() const;

    // Writes every tag with at least one value to `path`, created or emptied. Throws
    // LauncherException with the catalogue's "Error writing file = …" text when it cannot
    // be opened or written whole; what was written stays for the caller's clean-up.
    void write(const SString& path) const;
    // Writes the tags to the open stream `out`; false (errno set) when a write failed.
    bool write(FILE* out) const;

    // Logs "Syntax error in FILE at line N ==> message" and throws it.
    [[noreturn]] void logSyntaxError(const SString& message, const SString& fileName,
                                     long line) const;

    // The tags in entry order.
    std::vector<const TagFileEntry*> entries() const;

private:
    TagFileEntry* findEntry(const char* name) const;
    TagFileEntry& addEntry(const char* name);
    void appendMovedValue(const char* name, SString&& value);
    void readBlock(FILE* stream, const SString& name, long tagLine);

    // The tags in entry order, with an empty slot where one was removed; the index finds a
    // tag's slot by name, so that loading stays linear in the number of tags.
    std::vector<std::unique_ptr<TagFileEntry>> m_entries;
    std::unordered_map<SString, size_t> m_index;
    size_t m_removedCount = 0;
    bool m_loaded = false;
    long m_lineNumber = 0;
    long long m_bytesRead = 0;
    SString m_fileName;
};

using TagFilePtrDeque = PtrDeque<TagFile>;
