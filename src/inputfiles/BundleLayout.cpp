#include "inputfiles/BundleLayout.h"

#include "platform/PlatformImpl.h"

bool isTrailer(const SString& tail, long& indexOffset) {
    if (tail.size() != static_cast<size_t>(kTrailerSize)) return false;
    indexOffset = PlatformImpl::convertToLong(tail.data());
    return static_cast<uint32_t>(PlatformImpl::convertToLong(tail.data() + 4)) ==
           kLauncherIdentification;
}
