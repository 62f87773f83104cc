#include "platform/existing_files.h"

#include "platform/file_system.h"
#include "platform/services.h"

namespace platform {

bool WritableThrough(const ExistingFile& found) {
    return found.plainFile && found.linkCount <= 1 && (found.ownerTrusted || !Current().files->processElevated());
}

std::unique_ptr<OpenFile> CreateFileSafely(const std::wstring& path, CreateMode mode, CreateResult& result) {
    FileSystem& files = *Current().files;
    std::unique_ptr<OpenFile> file = files.createFile(path, CreateMode::ReplaceExisting, result);
    if (result == CreateResult::Created) return file;
    if (result == CreateResult::Opened) {
        if (WritableThrough(file->look())) {
            if (mode == CreateMode::NewOnly) {
                result = CreateResult::AlreadyExists;
                return nullptr;
            }
            if (file->truncate()) return file;
            result = CreateResult::Failed;
            return nullptr;
        }
        file.reset();  // closed before it is deleted
    } else if (result != CreateResult::AlreadyExists) {
        return nullptr;
    }
    if (!files.deleteFile(path)) {
        result = CreateResult::Refused;
        return nullptr;
    }
    return files.createFile(path, CreateMode::NewOnly, result);
}

}  // namespace platform
