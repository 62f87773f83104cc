#include "products/installed_products.h"

#include <algorithm>
#include <vector>

#include "platform/installer.h"
#include "platform/services.h"

namespace {

constexpr std::uint32_t kPropertyBufferChars = 1024;

// Longer values are not read again; no product name comes near this.
constexpr std::uint32_t kMaxPropertyChars = 1u << 20;

// One product property read into `buffer`, the count set anew for each
// query. A failed query gives empty text, never what the buffer held before.
// With `readLonger`, a value that does not fit is read again at the length
// the service reports.
std::wstring ReadProductProperty(const std::wstring& productCode, const wchar_t* property,
                                 std::vector<wchar_t>& buffer, bool readLonger = false) {
    platform::Installer& installer = *platform::Current().installer;
    std::fill(buffer.begin(), buffer.end(), L'\0');
    std::uint32_t count = kPropertyBufferChars;
    std::uint32_t result = installer.getProductInfo(productCode, property, buffer.data(), count);
    if (result == platform::kInstallerMoreData && readLonger && count < kMaxPropertyChars) {
        std::vector<wchar_t> larger(static_cast<std::size_t>(count) + 1, L'\0');
        count = static_cast<std::uint32_t>(larger.size());
        result = installer.getProductInfo(productCode, property, larger.data(), count);
        if (result != platform::kInstallerSuccess) return std::wstring();
        return platform::TextUpToTerminator(larger);
    }
    if (result != platform::kInstallerSuccess) return std::wstring();
    return platform::TextUpToTerminator(buffer);
}

}  // namespace

bool IsProductInstalled(const std::wstring& productCode) {
    const int state = platform::Current().installer->queryProductState(productCode);
    return state == platform::kInstallStateDefault || state == platform::kInstallStateAdvertised;
}

std::wstring GetInstalledVersionString(const std::wstring& productCode) {
    std::vector<wchar_t> buffer(kPropertyBufferChars);
    return ReadProductProperty(productCode, L"VersionString", buffer);
}

void GetProductNameAndLanguage(const std::wstring& productCode, std::wstring& productName, std::wstring& language) {
    std::vector<wchar_t> buffer(kPropertyBufferChars);
    // Boxes cut a long name; the name itself is kept whole for the log's name.
    productName = ReadProductProperty(productCode, L"ProductName", buffer, true);
    language = ReadProductProperty(productCode, L"Language", buffer);
}
