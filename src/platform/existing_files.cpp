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

std::unique_ptr<OutputFile> CreateFileSafely(const std::wstring& path, CreateMode mode, CreateResult& result) {
    switch (ClearUntrustedFile(path)) {
        case ExistingFileState::Untrusted:
            result = CreateResult::Refused;
            return nullptr;
        case ExistingFileState::Trusted:
            return Current().files->createFile(path, mode, result);
        case ExistingFileState::None:
        case ExistingFileState::Removed:
            break;
    }
    return Current().files->createFile(path, CreateMode::NewOnly, result);
}

}  // namespace platform
