#include "jvm/BundledRuntime.h"

#include <memory>

#include "base/LauncherException.h"
#include "base/Numbers.h"
#include "base/Sha256.h"
#include "inputfiles/Bundle.h"
#include "inputfiles/FileIndexEntry.h"
#include "inputfiles/TagFile.h"
#include "inputfiles/UstarReader.h"
#include "platform/PlatformImpl.h"
#include "platform/log/Log.h"

namespace {

// The descriptor's name at the archive's root, and the most it may take.
constexpr const char* kDescriptorName = "jvm";
constexpr size_t kDescriptorLimit = 1 << 20;

EmbeddedRuntime embeddedRuntime(const Bundle& bundle, const FileIndexEntry& entry,
                                RuntimeInstallSteps* steps) {
    EmbeddedRuntime runtime(bundle.descriptor(), entry.m_offset, entry.m_length,
                            bundledRuntimeId(bundle, entry), steps);
    runtime.expectDigest(entry.m_digest);
    return runtime;
}

}  // namespace

SString bundledRuntimeId(const Bundle& bundle, const FileIndexEntry& entry) {
    if (!entry.m_digest.empty()) return hexText(entry.m_digest);
    const SString identity = bundle.identity();
    if (identity == "-") {
        throw LauncherException("The launcher file cannot be examined to name its runtime.");
    }
    return "bundle-" + hexText(Sha256::of(identity + "\n" + convertToString(entry.m_offset) + ":" +
                                          convertToString(entry.m_length)));
}

BundledRuntime::BundledRuntime(const Bundle& bundle, const FileIndexEntry& entry,
                               RuntimeInstallSteps* steps)
    : m_bundle(bundle), m_entry(entry), m_runtime(embeddedRuntime(bundle, entry, steps)) {}

void BundledRuntime::readDescriptor(TagFile& descriptor) const {
    SString text;
    if (!readUstarMember(m_bundle.descriptor(), m_entry.m_offset, m_entry.m_length, kDescriptorName,
                         kDescriptorLimit, text)) {
        throw LauncherException("The runtime archive " + m_entry.m_name +
                                " holds no descriptor \"jvm\" at its root.");
    }
    descriptor.load(text, m_entry.m_name + ":" + kDescriptorName);
}

SString BundledRuntime::handOn(TagFile& descriptor, const SString& home) {
    const SString path = PlatformImpl::createTempFile();
    descriptor.setDynamicJVMTags(home, path, true);
    descriptor.write(path);
    return path;
}

SString BundledRuntime::install() const {
    TagFile descriptor;
    readDescriptor(descriptor);
    SString home = m_runtime.installInCache();
    if (home.empty()) home = m_runtime.installInto(PlatformImpl::createTempSubDirectory());
    return handOn(descriptor, home);
}

SString BundledRuntime::installAt(const SString& destination) const {
    TagFile descriptor;
    readDescriptor(descriptor);
    return handOn(descriptor, m_runtime.installAt(destination));
}
