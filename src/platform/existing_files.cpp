#include "platform/existing_files.h"

#include "platform/clock.h"
#include "platform/error_codes.h"
#include "platform/file_system.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace platform {
namespace {

// What RetrySoon tries, and how far apart.
constexpr unsigned kRetryAttempts = 10;
constexpr std::uint32_t kRetryDelayMs = 50;

// `path` without its trailing separators, a drive root's kept.
std::wstring Trimmed(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

// What keeps a folder from being used, for the own log.
std::wstring Refusal(std::uint32_t error) {
    switch (error) {
        case kErrorLinkInPath:
            return L"cannot be held free of links";
        case kErrorSubstitutedDrive:
            return L"is on a substituted drive";
        case kErrorNotSupported:
            return L"is on a network drive, whose server follows links that cannot be seen from here";
        case kErrorIdentityUnknown:
            return L"cannot be shown to be the folder its path names";
        case kErrorPathNotFound:
            return L"is not there (and is not made)";
        default:
            return L"cannot be held";
    }
}

// The first of the system's temporary folders that can be held, with the
// end of `note` saying so; elevated, the logs made there are private.
std::unique_ptr<HeldFolder> HoldSystemTemp(std::wstring& note) {
    FileSystem& files = *Current().files;
    for (const std::wstring& instead : SystemTempFolders()) {
        std::uint32_t error = 0;
        std::unique_ptr<HeldFolder> folder = files.openResolvedFolder(instead, error);
        if (!folder) continue;
        note += L": written to " + folder->path() + L" instead";
        if (files.processElevated()) folder->makeFilesPrivate();
        return folder;
    }
    note += L", nor can the system's temporary folder: not written";
    return nullptr;
}

// True when `path` lies inside the folder `profile` (both full paths).
bool Inside(FileSystem& files, const std::wstring& path, std::wstring profile) {
    profile = Trimmed(profile);
    if (!profile.empty() && (profile.back() == L'\\' || profile.back() == L'/')) profile.pop_back();
    return path.size() > profile.size() + 1 && (path[profile.size()] == L'\\' || path[profile.size()] == L'/') &&
           files.sameName(path.substr(0, profile.size()), profile);
}

}  // namespace

bool IsLinkTag(std::uint32_t tag) { return (tag & 0x20000000u) != 0; }

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
        // Deleted through the handle that opened it: the entry itself.
        const bool removed = RetrySoon([&] { return file->remove(); });
        file.reset();
        if (!removed) {
            result = CreateResult::Refused;
            Current().thread->setLastError(kErrorAccessDenied);
            return nullptr;
        }
    } else if (result != CreateResult::AlreadyExists) {
        return nullptr;
    } else if (!DeleteSoon(folder, name)) {  // there, but not to be opened for writing
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
    RetrySoon([&] { return file->remove(); });  // what it made, through the handle that made it
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
    if (folder) {
        if (files.processElevated()) folder->makeFilesPrivate();
        return folder;
    }
    note = L"The folder " + Trimmed(path) + L" " + Refusal(error) + L" (error " + std::to_wstring(error) + L")";
    return HoldSystemTemp(note);
}

// The user's temporary folder held, where an elevated run may use it (see
// HoldUserTempFolder); else nothing, and `note` and `error` say why.
std::unique_ptr<HeldFolder> HoldShownUserTempFolder(std::wstring& note, std::uint32_t& error) {
    FileSystem& files = *Current().files;
    const std::optional<std::wstring> temp = files.tempFolder();
    if (!temp || temp->empty()) {
        error = LastErrorOr(kErrorPathNotFound);
        note = L"The system gives no temporary folder for the user (error " + std::to_wstring(error) + L")";
        return nullptr;
    }
    const std::wstring path = Trimmed(*temp);
    note = L"The folder " + path + L" ";
    if (files.onNetwork(path)) {
        error = kErrorNotSupported;
        note += Refusal(error);
        return nullptr;
    }
    // The profile as the system records it, not as the environment says.
    const std::optional<std::wstring> profile = files.userProfileFolder();
    if (!profile || !Inside(files, path, *profile)) {
        error = profile ? kErrorAccessDenied : LastErrorOr(kErrorPathNotFound);
        note += profile ? L"lies outside the user's profile folder " + Trimmed(*profile)
                        : L"cannot be shown inside the user's profile folder, which the system does not give (error " +
                              std::to_wstring(error) + L")";
        return nullptr;
    }
    std::unique_ptr<HeldFolder> folder = files.openFolder(path, error);
    if (folder) {
        note.clear();
        return folder;
    }
    note += Refusal(error) + L" (error " + std::to_wstring(error) + L")";
    return nullptr;
}

std::unique_ptr<HeldFolder> HoldUserTempFolder(std::wstring& note) {
    std::uint32_t error = 0;
    std::unique_ptr<HeldFolder> folder = HoldShownUserTempFolder(note, error);
    return folder ? std::move(folder) : HoldSystemTemp(note);
}

std::unique_ptr<HeldFolder> HoldTempFolderForCopies(std::uint32_t& error) {
    FileSystem& files = *Current().files;
    if (files.processElevated()) {
        std::wstring note;
        return HoldShownUserTempFolder(note, error);
    }
    const std::optional<std::wstring> temp = files.tempFolder();
    if (!temp || temp->empty()) {
        error = LastErrorOr(kErrorPathNotFound);
        return nullptr;
    }
    return files.openFolder(*temp, error);
}

}  // namespace platform
