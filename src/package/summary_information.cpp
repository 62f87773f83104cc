#include "package/summary_information.h"

#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"

namespace {

constexpr std::uint32_t kPropertyKeywords = 5;   // PID_KEYWORDS
constexpr std::uint32_t kPropertyTemplate = 7;   // PID_TEMPLATE
constexpr std::uint32_t kPropertyRevNumber = 9;  // PID_REVNUMBER
constexpr std::size_t kGuidChars = 38;           // {8-4-4-4-12}
constexpr std::size_t kMaxFullPathChars = 259;   // MAX_PATH without the terminator
constexpr std::uint32_t kFirstReadChars = 2048;
// A length beyond this from the service is not a real property; it is not
// allocated.
constexpr std::uint32_t kMaxPropertyChars = 16u * 1024u * 1024u;

// Closes a summary handle exactly once, when the reader returns.
class SummaryHandle {
public:
    explicit SummaryHandle(platform::InstallerHandle handle) : handle_(handle) {}
    ~SummaryHandle() {
        if (handle_ != 0) platform::Current().installer->closeHandle(handle_);
    }
    SummaryHandle(const SummaryHandle&) = delete;
    SummaryHandle& operator=(const SummaryHandle&) = delete;
    platform::InstallerHandle get() const { return handle_; }

private:
    platform::InstallerHandle handle_;
};

// Opens the package's summary information: the handle, or 0 and the reason.
platform::InstallerHandle OpenSummary(const std::wstring& path, std::uint32_t& error) {
    std::optional<std::wstring> fullPath = platform::Current().files->fullPath(path);
    if (!fullPath || fullPath->size() > kMaxFullPathChars) {
        error = fullPath ? platform::kErrorNameTooLong : platform::LastErrorOr(platform::kErrorNameTooLong);
        return 0;
    }
    platform::InstallerHandle handle = 0;
    error = platform::Current().installer->getSummaryInformation(*fullPath, handle);
    if (error != platform::kInstallerSuccess || handle == 0) {
        if (error == platform::kInstallerSuccess) error = platform::kErrorFunctionFailed;
        return 0;
    }
    return handle;
}

// One text property of the package: a first read into 2048 characters, and
// exactly one more into the length the service asks for. On failure, `error`
// holds the service's answer.
std::optional<std::wstring> ReadTextProperty(const std::wstring& path, std::uint32_t propertyId,
                                             std::uint32_t& error) {
    SummaryHandle summary(OpenSummary(path, error));
    if (summary.get() == 0) return std::nullopt;

    platform::Installer& installer = *platform::Current().installer;
    std::vector<wchar_t> buffer(kFirstReadChars, L'\0');
    std::uint32_t count = kFirstReadChars;
    error = installer.summaryInfoGetProperty(summary.get(), propertyId, buffer.data(), count);
    if (error == platform::kInstallerMoreData) {
        if (count >= kMaxPropertyChars) {
            error = platform::kErrorNotEnoughMemory;
            return std::nullopt;
        }
        const std::uint32_t needed = count + 1;
        buffer.assign(needed, L'\0');
        count = needed;
        error = installer.summaryInfoGetProperty(summary.get(), propertyId, buffer.data(), count);
    }
    if (error != platform::kInstallerSuccess) return std::nullopt;
    return platform::TextUpToTerminator(buffer);
}

// A failed read leaves the reason as the thread's last error, set after the
// handle is closed so that the close cannot change it.
std::optional<std::wstring> ReadTextPropertyOrSetError(const std::wstring& path, std::uint32_t propertyId) {
    std::uint32_t error = 0;
    std::optional<std::wstring> text = ReadTextProperty(path, propertyId, error);
    if (!text) platform::Current().thread->setLastError(error);
    return text;
}

}  // namespace

bool ReadTargetProductCodes(const std::wstring& path, std::wstring& productCodes) {
    std::optional<std::wstring> text = ReadTextPropertyOrSetError(path, kPropertyTemplate);
    if (!text) return false;
    productCodes = std::move(*text);
    return true;
}

bool ReadPatchVersions(const std::wstring& path, std::wstring& upgradeVersion, std::wstring& targetVersions) {
    std::optional<std::wstring> text = ReadTextPropertyOrSetError(path, kPropertyKeywords);
    if (!text) return false;
    const std::size_t separator = text->find(L';');
    if (separator == std::wstring::npos || separator == 0) {
        platform::Current().thread->setLastError(platform::kErrorResourceNotPresent);
        return false;
    }
    upgradeVersion = text->substr(0, separator);
    targetVersions = text->substr(separator + 1);
    return true;
}

bool IsGuidText(const std::wstring& text) {
    if (text.size() != kGuidChars || text.front() != L'{' || text.back() != L'}') return false;
    for (std::size_t i = 1; i + 1 < kGuidChars; ++i) {
        const wchar_t c = text[i];
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (dash ? c != L'-' : !hex) return false;
    }
    return true;
}

bool ReadPatchCode(const std::wstring& path, std::wstring& patchCode) {
    std::optional<std::wstring> text = ReadTextPropertyOrSetError(path, kPropertyRevNumber);
    if (!text) return false;
    const std::wstring first = text->substr(0, kGuidChars);
    if (!IsGuidText(first)) {
        platform::Current().thread->setLastError(platform::kErrorResourceNotPresent);
        return false;
    }
    patchCode = first;
    return true;
}
