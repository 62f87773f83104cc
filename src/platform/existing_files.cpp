#include "platform/existing_files.h"

#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/file_system.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace platform {

namespace {

constexpr unsigned kRetryAttempts = 10;
constexpr std::uint32_t kRetryDelayMs = 50;

}  // namespace

bool RetrySoon(const std::function<bool()>& attempt) {
    Clock* clock = Current().clock;
    for (unsigned tried = 1;; ++tried) {
        if (attempt()) return true;
        if (tried == kRetryAttempts || clock == nullptr) return false;
        clock->sleep(kRetryDelayMs);
    }
}

bool DeleteSoon(HeldFolder& folder, const std::wstring& name) {
    return RetrySoon([&] { return folder.deleteFile(name) || Current().thread->lastError() == kErrorFileNotFound; });
}

bool WritableThrough(const ExistingFile& found) {
    return found.plainFile && found.linkCount <= 1 && (found.ownerTrusted || !Current().files->processElevated());
}

std::unique_ptr<OpenFile> OpenTrustedOrNew(HeldFolder& folder, const std::wstring& name, FileOpener open,
                                           CreateResult& result) {
    std::unique_ptr<OpenFile> file = (folder.*open)(name, CreateMode::ReplaceExisting, result);
    if (result == CreateResult::Created || result == CreateResult::Opened) {
        if (WritableThrough(file->look())) return file;
        file.reset();  // closed before it is deleted
    } else if (result != CreateResult::AlreadyExists) {
        return nullptr;
    }
    if (!DeleteSoon(folder, name)) {
        // What is there stays: not to be replaced, whatever the system said.
        result = CreateResult::Refused;
        Current().thread->setLastError(kErrorAccessDenied);
        return nullptr;
    }
    return CreateNewOwnFile(folder, name, open, result);
}

std::unique_ptr<OpenFile> CreateNewOwnFile(HeldFolder& folder, const std::wstring& name, FileOpener open,
                                           CreateResult& result) {
    std::unique_ptr<OpenFile> file = (folder.*open)(name, CreateMode::NewOnly, result);
    if (!file) return file;
    const ExistingFile found = file->look();
    if (WritableThrough(found)) return file;
    file.reset();  // closed before it is deleted
    DeleteSoon(folder, name);
    result = CreateResult::Refused;
    // Made through something, or not to be shown to be the file made.
    Current().thread->setLastError(found.identityShown ? kErrorAccessDenied : kErrorIdentityUnknown);
    return nullptr;
}

std::unique_ptr<OpenFile> CreateFileSafely(HeldFolder& folder, const std::wstring& name, CreateMode mode,
                                           CreateResult& result) {
    std::unique_ptr<OpenFile> file = OpenTrustedOrNew(folder, name, &HeldFolder::createFile, result);
    if (result != CreateResult::Opened) return file;
    if (mode == CreateMode::NewOnly) {
        result = CreateResult::AlreadyExists;
        return nullptr;
    }
    if (file->truncate()) return file;
    result = CreateResult::Failed;
    return nullptr;
}

std::vector<std::wstring> SystemTempFolders() {
    const std::optional<std::wstring> windows = Current().files->windowsFolder();
    if (!windows || windows->empty()) return {};
    return {*windows + L"\\SystemTemp", *windows + L"\\Temp"};
}

std::unique_ptr<HeldFolder> HoldFolderOrSystemTemp(const std::wstring& path, std::wstring& note) {
    FileSystem& files = *Current().files;
    std::uint32_t error = 0;
    std::unique_ptr<HeldFolder> folder = files.openFolder(path, error);
    if (folder) return folder;
    std::wstring shown = path;
    while (shown.size() > 3 && (shown.back() == L'\\' || shown.back() == L'/')) shown.pop_back();
    note = L"The folder " + shown + L" cannot be held free of links (error " + std::to_wstring(error) + L")";
    for (const std::wstring& instead : SystemTempFolders()) {
        folder = files.openFolder(instead, error);
        if (folder) {
            note += L": written to " + folder->path() + L" instead";
            return folder;
        }
    }
    note += L", nor can the system's temporary folder: not written";
    return nullptr;
}

}  // namespace platform
