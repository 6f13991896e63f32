#include "jvm/JVMMatch.h"

#include "inputfiles/TagFile.h"
#include "platform/PlatformImpl.h"

SString JVMMatch::writeNewJVMFile() const {
    const SString path = PlatformImpl::createTempFile();
    std::unique_ptr<TagFile> written = m_descriptorFile.clone();
    written->setDynamicJVMTags(m_jvmHome, path, false);
    written->write(path);
    return path;
}
