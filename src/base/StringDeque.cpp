#include "base/StringDeque.h"

const SString StringDeque::emptyString;

void StringDeque::insert(long i, const SString& s) {
    if (i < 0) {
        m_items.push_back(s);
    } else if (i < size()) {
        m_items.insert(m_items.begin() + i, s);
    }
}

void StringDeque::erase(long i) {
    if (validIndex(i)) m_items.erase(m_items.begin() + i);
}
