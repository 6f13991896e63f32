#pragma once
// An ordered sequence of string copies whose lookups never fail: an invalid index
// reads as the shared empty string and an invalid erase does nothing.

#include <vector>

#include "base/SString.h"

class StringDeque {
public:
    // Shared empty string returned for every out-of-range read; callers only read it.
    static const SString emptyString;

    long size() const { return static_cast<long>(m_items.size()); }
    bool empty() const { return m_items.empty(); }
    bool validIndex(long i) const { return i >= 0 && i < size(); }

    void push_back(const SString& s) { m_items.push_back(s); }
    void push_back(SString&& s) { m_items.push_back(std::move(s)); }
    // A negative index appends; an index at or past the count inserts nothing.
    void insert(long i, const SString& s);
    void erase(long i);
    void clear() { m_items.clear(); }

    const SString& at(long i) const { return validIndex(i) ? m_items[i] : emptyString; }
    const SString& back() const { return m_items.empty() ? emptyString : m_items.back(); }
    // Mutable access for a valid index only.
    SString& ref(long i) { return m_items.at(static_cast<size_t>(i)); }

    std::vector<SString>::const_iterator begin() const { return m_items.begin(); }
    std::vector<SString>::const_iterator end() const { return m_items.end(); }

private:
    std::vector<SString> m_items;
};
