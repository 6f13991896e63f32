#include "jvm/JVMMatch.h"

#include "inputfiles/TagFile.h"
#include "platform/PlatformImpl.h"

SString JVMMatch::writeNewJVMFile() {
    SString path = PlatformImpl::createTempFile();
    m_descriptorFile.setDynamicJVMTags(m_jvmHome, path, false);
    m_descriptorFile.write(path);
    return path;
}
