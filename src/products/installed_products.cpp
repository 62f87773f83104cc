#include "products/installed_products.h"

#include <algorithm>
#include <vector>

#include "platform/installer.h"
#include "platform/services.h"

namespace {

constexpr std::uint32_t kPropertyBufferChars = 1024;

// One product property read into `buffer`, the count set anew for each
// query. A failed query gives empty text, never what the buffer held before.
std::wstring ReadProductProperty(const std::wstring& productCode, const wchar_t* property,
                                 std::vector<wchar_t>& buffer) {
    std::fill(buffer.begin(), buffer.end(), L'\0');
    std::uint32_t count = kPropertyBufferChars;
    std::uint32_t result =
        platform::Current().installer->getProductInfo(productCode, property, buffer.data(), count);
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
    productName = ReadProductProperty(productCode, L"ProductName", buffer);
    language = ReadProductProperty(productCode, L"Language", buffer);
}
