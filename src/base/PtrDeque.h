#pragma once
// Owning sequences of objects: each element is owned by the sequence and deleted with it;
// lookups out of range give null.

#include <memory>
#include <vector>

template <class T>
class PtrDeque {
public:
    virtual ~PtrDeque() = default;

    long size() const { return static_cast<long>(m_items.size()); }
    bool empty() const { return m_items.empty(); }
    bool validIndex(long i) const { return i >= 0 && i < size(); }

    void push_back(std::unique_ptr<T> element) { m_items.push_back(std::move(element)); }
    // A negative index appends; an index at or past the count inserts nothing (and the
    // element handed over is deleted).
    void insert(long i, std::unique_ptr<T> element) {
        if (i < 0) {
            m_items.push_back(std::move(element));
        } else if (i < size()) {
            m_items.insert(m_items.begin() + i, std::move(element));
        }
    }
    void erase(long i) {
        if (validIndex(i)) m_items.erase(m_items.begin() + i);
    }
    void clear() { m_items.clear(); }

    T* at(long i) const { return validIndex(i) ? m_items[i].get() : nullptr; }
    T* back() const { return m_items.empty() ? nullptr : m_items.back().get(); }

private:
    std::vector<std::unique_ptr<T>> m_items;
};
