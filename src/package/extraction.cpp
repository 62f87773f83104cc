#include "package/extraction.h"

#include <optional>

#include "app/switches.h"
#include "package/file_names.h"
#include "platform/file_system.h"
#include "platform/resources.h"
#include "platform/services.h"

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

// Rises within the process, so that two extractions never get the same name.
unsigned g_nextTempNumber = 1;

// The next "MSP<n>" name in `folder` under which nothing exists yet.
std::optional<std::wstring> NextFreeTempName(platform::FileSystem& files, const std::wstring& folder) {
    for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::wstring candidate = JoinPath(folder, L"MSP" + std::to_wstring(g_nextTempNumber++));
        if (candidate.size() > kMaxPathChars) return std::nullopt;
        if (!files.exists(candidate)) return candidate;
    }
    return std::nullopt;
}

std::wstring SuffixText(unsigned suffixId) {
    if (suffixId == 0) return std::wstring();
    std::optional<std::wstring> text = platform::Current().resources->loadString(ModuleInstance, suffixId);
    if (!text) return std::wstring();
    if (text->size() > kSuffixBufferChars - 1) text->resize(kSuffixBufferChars - 1);
    return *text;
}

bool WriteAll(platform::FileSystem& files, std::unique_ptr<platform::OutputFile> file, const std::wstring& path,
              const platform::ResourceBytes& bytes) {
    bool complete = file->write(bytes.data, bytes.size);
    file.reset();  // closes it
    if (!complete) files.deleteFile(path);  // nobody reads a partial package
    return complete;
}

}  // namespace

bool ExtractPackage(std::wstring& path, const std::wstring& resourceName, unsigned suffixId) {
    platform::FileSystem& files = *platform::Current().files;
    const bool temporary = path.empty();

    std::wstring tempFolder;
    if (temporary) {
        std::optional<std::wstring> folder = files.tempFolder();
        if (!folder || folder->empty() || folder->size() > kMaxTempFolderChars) return false;
        tempFolder = *folder;
        std::optional<std::wstring> name = NextFreeTempName(files, tempFolder);
        if (!name) return false;
        path = *name;
    } else {
        std::optional<std::wstring> name = SuffixedPackageName(path, SuffixText(suffixId));
        if (!name) return false;  // beyond the name limits: nothing is written
        path = *name;
    }

    std::optional<platform::ResourceBytes> bytes =
        platform::Current().resources->find(ModuleInstance, kPackageResourceType, resourceName);
    if (!bytes || bytes->size == 0 || bytes->data == nullptr) return false;

    platform::CreateResult result = platform::CreateResult::Failed;
    if (!temporary) {
        auto file = files.createFile(path, platform::CreateMode::ReplaceExisting, result);
        return file && WriteAll(files, std::move(file), path, *bytes);
    }

    // The temporary folder is shared and this process may run elevated: a
    // file that someone else put under the chosen name is never opened. When
    // the name was taken after it was tested, count on.
    for (unsigned attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        auto file = files.createFile(path, platform::CreateMode::NewOnly, result);
        if (file) return WriteAll(files, std::move(file), path, *bytes);
        if (result != platform::CreateResult::AlreadyExists) return false;
        std::optional<std::wstring> name = NextFreeTempName(files, tempFolder);
        if (!name) return false;
        path = *name;
    }
    return false;
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
