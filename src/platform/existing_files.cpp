#include "platform/existing_files.h"

#include "platform/file_system.h"
#include "platform/services.h"

namespace platform {

ExistingFileState ClearUntrustedFile(const std::wstring& path) {
    FileSystem& files = *Current().files;
    const std::optional<ExistingFile> found = files.lookAt(path);
    if (!found) return ExistingFileState::None;
    const bool trusted = found->plainFile && found->linkCount <= 1 &&
                         (found->ownerTrusted || !files.processElevated());
    if (trusted) return ExistingFileState::Trusted;
    return files.deleteFile(path) ? ExistingFileState::Removed : ExistingFileState::Untrusted;
}

}  // namespace platform
