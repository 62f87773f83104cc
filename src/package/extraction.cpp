#include "package/extraction.h"

#include <optional>

#include "package/file_names.h"
#include "platform/existing_files.h"
#include "platform/file_system.h"
#include "platform/resources.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"

const wchar_t* const kGlobalPackageResource = L"IDR_MSP";
const wchar_t* const kLanguagePackResource = L"IDR_MSP_LP";
const wchar_t* const kPackageResourceType = L"MSP";

namespace {

// The temporary folder as the system gives it, at most this long.
constexpr std::size_t kMaxTempFolderChars = 1023;
// The suffix text is read into a buffer of this many characters.
constexpr std::size_t kSuffixBufferChars = 260;
// How many numbers are tried for a free temporary name before giving up.
constexpr unsigned kTempNameAttempts = 100000;

// The next "MSP<n>" name in `folder` under which nothing exists yet.
std::optional<std::wstring> NextFreeTempName(platform::FileSystem& files, const std::wstring& folder) {
    for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::wstring candidate = JoinPath(folder, L"MSP" + std::to_wstring(NextPackageNumber()));
        if (candidate.size() > kMaxPathChars) return std::nullopt;
        if (!files.exists(candidate)) return candidate;
    }
    return std::nullopt;
}

// Nothing when the text cannot be loaded: without it both packages would get
// the same name, and the second would replace the first.
std::optional<std::wstring> SuffixText(unsigned suffixId) {
    if (suffixId == 0) return std::wstring();
    std::optional<std::wstring> text = platform::Current().resources->loadString(ModuleInstance, suffixId);
    if (!text) return std::nullopt;
    if (text->size() > kSuffixBufferChars - 1) text->resize(kSuffixBufferChars - 1);
    return text;
}

// 0 when all bytes are in the file `name` of `folder` and it is closed, else an error code.
std::uint32_t WriteAll(std::unique_ptr<platform::OpenFile> file, const platform::ResourceBytes& bytes) {
    if (file->write(bytes.data, bytes.size)) return 0;
    const std::uint32_t error = platform::LastErrorOr(platform::kErrorWriteFault);
    platform::RetrySoon([&] { return file->remove(); });  // nobody reads a partial package
    return error;
}

// The work of ExtractPackage: 0 on success, else the error code to report.
// The file is made relative to its folder, held and shown free of links
// while it is written.
std::uint32_t Extract(std::wstring& path, const std::wstring& resourceName, unsigned suffixId) {
    platform::FileSystem& files = *platform::Current().files;
    const bool temporary = path.empty();

    std::wstring folderPath, fileName;
    std::unique_ptr<platform::HeldFolder> folder;
    std::uint32_t error = 0;
    if (temporary) {
        // Elevated, the user's only where it is shown to be theirs, else the system's.
        folder = platform::HoldTempFolderForCopies(error);
        if (!folder) return error != 0 ? error : platform::kErrorPathNotFound;
        folderPath = folder->path();
        if (folderPath.size() > kMaxTempFolderChars) return platform::kErrorNameTooLong;
        std::optional<std::wstring> name = NextFreeTempName(files, folderPath);
        if (!name) return platform::kErrorNameTooLong;
        path = *name;
    } else {
        const std::optional<std::wstring> suffix = SuffixText(suffixId);
        if (!suffix) return platform::LastErrorOr(platform::kErrorResourceNameNotFound);
        std::optional<std::wstring> name = SuffixedPackageName(path, *suffix);
        if (!name) return platform::kErrorNameTooLong;  // beyond the name limits: nothing is written
        path = *name;
        const std::optional<std::wstring> full = files.fullPath(path);
        if (!full) return platform::LastErrorOr(platform::kErrorPathNotFound);
        folderPath = FolderOf(*full);
        fileName = FileNameOf(*full);
    }

    platform::ResourceBytes bytes;
    error = CarriedPackageBytes(resourceName, bytes);
    if (error != 0) return error;

    if (!folder) folder = files.openFolder(folderPath, error);
    if (!folder) return error != 0 ? error : platform::kErrorPathNotFound;

    platform::CreateResult result = platform::CreateResult::Failed;
    if (!temporary) {
        // A file of that name is replaced only when it is a plain file of its
        // own: a link, or a file with another name too, is deleted and a new
        // file made, so nothing is written through it.
        auto file = platform::CreateFileSafely(*folder, fileName, platform::CreateMode::ReplaceExisting, result);
        if (result == platform::CreateResult::Refused) return platform::LastErrorOr(platform::kErrorAccessDenied);
        if (!file) return platform::LastErrorOr(platform::kErrorCannotMake);
        return WriteAll(std::move(file), bytes);
    }

    // The temporary folder is shared and this process may run elevated: a
    // file that someone else put under the chosen name is never opened. When
    // the name was taken after it was tested, count on.
    for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::wstring name = FileNameOf(path);
        auto file = platform::CreateNewOwnFile(*folder, name, &platform::HeldFolder::createFile, result);
        if (file) return WriteAll(std::move(file), bytes);
        if (result == platform::CreateResult::Refused) return platform::LastErrorOr(platform::kErrorAccessDenied);
        if (result != platform::CreateResult::AlreadyExists) return platform::LastErrorOr(platform::kErrorCannotMake);
        std::optional<std::wstring> next = NextFreeTempName(files, folderPath);
        if (!next) return platform::kErrorNameTooLong;
        path = *next;
    }
    return platform::kErrorCannotMake;
}

}  // namespace

unsigned NextPackageNumber() {
    // Rises within the process, so that no two files of it get the same name.
    static unsigned next = 1;
    return next++;
}

bool ExtractPackage(std::wstring& path, const std::wstring& resourceName, unsigned suffixId) {
    const std::uint32_t error = Extract(path, resourceName, suffixId);
    if (error == 0) return true;
    // Set last, so that nothing done after the failing call changes it.
    platform::Current().thread->setLastError(error);
    return false;
}

std::uint32_t CarriedPackageBytes(const std::wstring& resourceName, platform::ResourceBytes& bytes) {
    const std::optional<platform::ResourceBytes> found =
        platform::Current().resources->find(ModuleInstance, kPackageResourceType, resourceName);
    if (!found) return platform::LastErrorOr(platform::kErrorResourceNameNotFound);
    if (found->size == 0 || found->data == nullptr) return platform::kErrorResourceDataNotFound;
    bytes = *found;
    return 0;
}

bool IsPackageCarried(const std::wstring& resourceName) {
    if (platform::Current().resources->find(ModuleInstance, kPackageResourceType, resourceName)) return true;
    // Only a resource that is not there is not carried: one that cannot be
    // looked up for another reason (memory running out) is a package the
    // run cannot read, which it reports, rather than one it may skip.
    const std::uint32_t error = platform::LastErrorOr(platform::kErrorResourceNameNotFound);
    return error != platform::kErrorResourceTypeNotFound && error != platform::kErrorResourceNameNotFound &&
           error != platform::kErrorResourceLangNotFound;
}

std::wstring PrepareTempFolder(std::size_t capacity) {
    platform::FileSystem& files = *platform::Current().files;
    std::optional<std::wstring> folder = files.tempFolder();
    // The system is asked with room for capacity - 1 characters, terminator included.
    if (folder && !folder->empty() && capacity >= 2 && folder->size() <= capacity - 2) {
        std::wstring result = *folder;
        if (result.back() == L'\\' && !(result.size() >= 2 && result[result.size() - 2] == L':')) {
            result.pop_back();
        }
        if (files.isFolder(result)) return result;
        if (files.createFolder(result)) return result;
    }
    return L"c:";
}
