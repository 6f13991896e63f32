#include "jvm/VerifiedHomes.h"

std::map<SString, SString> VerifiedHomes::m_outputs;

SString VerifiedHomes::key(const SString& realExe, const StringDeque& names) {
    // A NUL cannot occur in a path or a property name, so the key is unambiguous.
    SString result = realExe;
    for (const SString& name : names) {
        result += '\0';
        result += name;
    }
    return result;
}

const SString* VerifiedHomes::find(const SString& realExe, const StringDeque& names) {
    auto found = m_outputs.find(key(realExe, names));
    return found == m_outputs.end() ? nullptr : &found->second;
}

void VerifiedHomes::remember(const SString& realExe, const StringDeque& names,
                             const SString& output) {
    m_outputs[key(realExe, names)] = output;
}

void VerifiedHomes::clear() {
    m_outputs.clear();
}
