#pragma once
// Owning sequences of objects. Each entry may or may not own its element (descriptor
// lists hold borrowed entries too); lookups out of range give null.

#include <memory>
#include <vector>

template <class T>
class PtrDeque {
public:
    virtual ~PtrDeque() = default;

    long size() const { return static_cast<long>(m_items.size()); }
    bool empty() const { return m_items.empty(); }
    bool validIndex(long i) const { return i >= 0 && i < size(); }

    // Appends the element; the sequence deletes it later when `owned` is true.
    void push_back(T* element, bool owned = true) { m_items.emplace_back(element, Deleter{owned}); }
    // A negative index appends; an index at or past the count inserts nothing (and,
    // since the caller handed over the element, an owned one is deleted).
    void insert(long i, T* element, bool owned = true) {
        Entry entry(element, Deleter{owned});
        if (i < 0) {
            m_items.push_back(std::move(entry));
        } else if (i < size()) {
            m_items.insert(m_items.begin() + i, std::move(entry));
        }
    }
    void erase(long i) {
        if (validIndex(i)) m_items.erase(m_items.begin() + i);
    }
    void clear() { m_items.clear(); }

    T* at(long i) const { return validIndex(i) ? m_items[i].get() : nullptr; }
    T* back() const { return m_items.empty() ? nullptr : m_items.back().get(); }

private:
    struct Deleter {
        bool owned = true;
        void operator()(T* p) const {
            if (owned) delete p;
        }
    };
    using Entry = std::unique_ptr<T, Deleter>;
    std::vector<Entry> m_items;
};

class FileIndexEntry;
class TagFileEntry;
class TagFile;
class StringPair;
class JVMMatch;
class JVMFile;

using FileIndexEntryPtrDeque = PtrDeque<FileIndexEntry>;
using TagFileEntryPtrDeque = PtrDeque<TagFileEntry>;
using TagFilePtrDeque = PtrDeque<TagFile>;
using StringPairPtrDeque = PtrDeque<StringPair>;
using JVMMatchPtrDeque = PtrDeque<JVMMatch>;
using JVMFilePtrDeque = PtrDeque<JVMFile>;
