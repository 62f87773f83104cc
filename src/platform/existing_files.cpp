#include "platform/existing_files.h"

#include "platform/file_system.h"
#include "platform/services.h"

namespace platform {

bool WritableThrough(const ExistingFile& found) {
    return found.plainFile && found.linkCount <= 1 && (found.ownerTrusted || !Current().files->processElevated());
}

std::unique_ptr<OpenFile> OpenTrustedOrNew(const std::wstring& path, FileOpener open, CreateResult& result) {
    FileSystem& files = *Current().files;
    std::unique_ptr<OpenFile> file = (files.*open)(path, CreateMode::ReplaceExisting, result);
    if (result == CreateResult::Created) return file;
    if (result == CreateResult::Opened) {
        if (WritableThrough(file->look())) return file;
        file.reset();  // closed before it is deleted
    } else if (result != CreateResult::AlreadyExists) {
        return nullptr;
    }
    if (!files.deleteFile(path)) {
        result = CreateResult::Refused;
        return nullptr;
    }
    return (files.*open)(path, CreateMode::NewOnly, result);
}

std::unique_ptr<OpenFile> CreateFileSafely(const std::wstring& path, CreateMode mode, CreateResult& result) {
    std::unique_ptr<OpenFile> file = OpenTrustedOrNew(path, &FileSystem::createFile, result);
    if (result != CreateResult::Opened) return file;
    if (mode == CreateMode::NewOnly) {
        result = CreateResult::AlreadyExists;
        return nullptr;
    }
    if (file->truncate()) return file;
    result = CreateResult::Failed;
    return nullptr;
}

}  // namespace platform
