#include "substitutes/fake_installer.h"

#include <algorithm>

#include "platform/error_codes.h"

namespace fake {
namespace {

// Copies `text` the way the service does: the whole text and a terminator
// when they fit in `count`, else 234 and the length needed.
std::uint32_t CopyOut(const std::wstring& text, wchar_t* buffer, std::uint32_t& count) {
    if (count <= text.size()) {
        count = static_cast<std::uint32_t>(text.size());
        return platform::kInstallerMoreData;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = L'\0';
    count = static_cast<std::uint32_t>(text.size());
    return 0;
}

}  // namespace

std::size_t Installer::openHandles() const { return handles_.size(); }

std::uint32_t Installer::getSummaryInformation(const std::wstring& packagePath, platform::InstallerHandle& handle) {
    openedPaths.push_back(packagePath);
    if (Faults().fails("getSummaryInformation", 110)) return 110;  // ERROR_OPEN_FAILED
    if (files != nullptr && files->held.count(packagePath) == 0) ++unheldOpens;
    if (files != nullptr && packages.count(packagePath) == 0) {
        auto file = files->files.find(packagePath);
        if (file == files->files.end()) return 110;  // ERROR_OPEN_FAILED
        auto byContent = packagesByContent.find(file->second);
        if (byContent != packagesByContent.end()) packages[packagePath] = byContent->second;
    }
    auto it = packages.find(packagePath);
    if (it == packages.end()) return 1627;  // ERROR_FUNCTION_FAILED, as for a file that is no package
    if (it->second.openResult != 0) return it->second.openResult;
    ++opened;
    handle = nextHandle_++;
    handles_[handle] = packagePath;
    return 0;
}

std::uint32_t Installer::summaryInfoGetProperty(platform::InstallerHandle handle, std::uint32_t propertyId,
                                                wchar_t* buffer, std::uint32_t& count) {
    reads.push_back({propertyId, count});
    if (Faults().fails("summaryInfoGetProperty", platform::kErrorFunctionFailed)) return platform::kErrorFunctionFailed;
    const int readNumber = ++readsOnHandle_[handle];
    auto pathIt = handles_.find(handle);
    if (pathIt == handles_.end()) return 6;  // ERROR_INVALID_HANDLE
    const Package& package = packages[pathIt->second];
    auto propIt = package.properties.find(propertyId);
    if (propIt == package.properties.end()) return CopyOut(L"", buffer, count);
    const SummaryProperty& property = propIt->second;
    if (property.result != 0) return property.result;
    if (readNumber > 1 && property.secondResult) return *property.secondResult;
    if (property.unterminated && count > 0) {
        std::fill(buffer, buffer + count, L'x');
        return 0;
    }
    return CopyOut(property.text, buffer, count);
}

int Installer::queryProductState(const std::wstring& productCode) {
    stateQueries.push_back(productCode);
    if (Faults().fails("queryProductState", 1610)) return platform::kInstallStateUnknown;  // ERROR_BAD_CONFIGURATION
    auto it = products.find(productCode);
    return it == products.end() ? platform::kInstallStateUnknown : it->second.state;
}

std::uint32_t Installer::getProductInfo(const std::wstring& productCode, const std::wstring& property,
                                        wchar_t* buffer, std::uint32_t& count) {
    infoQueries.emplace_back(productCode, property);
    infoCounts.push_back(count);
    if (Faults().fails("getProductInfo", 1610)) return 1610;  // ERROR_BAD_CONFIGURATION
    auto it = products.find(productCode);
    if (it == products.end()) return 1605;  // ERROR_UNKNOWN_PRODUCT
    auto failing = it->second.failing.find(property);
    if (failing != it->second.failing.end()) return failing->second;
    auto value = it->second.properties.find(property);
    if (value == it->second.properties.end()) return 1608;  // ERROR_UNKNOWN_PROPERTY
    return CopyOut(value->second, buffer, count);
}

std::uint32_t Installer::enableLog(std::uint32_t mode, const std::wstring& logPath, std::uint32_t attributes) {
    logs.push_back(logPath);
    logCalls.push_back({mode, logPath, attributes});
    if (Faults().fails("enableLog", platform::kErrorInvalidParameter)) return platform::kErrorInvalidParameter;
    return 0;
}

int Installer::setInternalUI(int level) {
    uiLevels.push_back(level);
    if (Faults().fails("setInternalUI", platform::kErrorInvalidParameter)) return 0;  // INSTALLUILEVEL_NOCHANGE
    const int previous = uiLevel;
    uiLevel = level;
    return previous;
}

std::uint32_t Installer::configureProductEx(const std::wstring& productCode, int installLevel, int installState,
                                            const std::wstring& commandLine) {
    configures.push_back({productCode, installLevel, installState, commandLine, uiLevel,
                          files != nullptr ? files->held : std::map<std::wstring, int>{}});
    if (Faults().fails("configureProductEx", platform::kErrorInstallFailure)) return platform::kErrorInstallFailure;
    if (!busyCalls.empty()) {
        const std::uint32_t result = busyCalls.front();
        busyCalls.erase(busyCalls.begin());
        return result;
    }
    auto it = configureResults.find(productCode);
    const std::uint32_t result = it == configureResults.end() ? configureResult : it->second;
    if (!appliedPatch.empty() && (result == 0 || result == 3010 || result == 1641) && products.count(productCode)) {
        products[productCode].patchInfo[appliedPatch][L"State"] = L"1";
    }
    return result;
}

std::uint32_t Installer::getPatchInfoEx(const std::wstring& patchCode, const std::wstring& productCode,
                                        std::uint32_t context, const std::wstring& property, wchar_t* buffer,
                                        std::uint32_t& count) {
    patchContexts.push_back(context);
    if (Faults().fails("getPatchInfoEx", 1610)) return 1610;
    auto it = products.find(productCode);
    if (it == products.end()) return 1605;  // ERROR_UNKNOWN_PRODUCT
    auto patch = it->second.patchInfo.find(patchCode);
    if (context != platform::kContextMachine || patch == it->second.patchInfo.end()) return 1605;
    auto value = patch->second.find(property);
    if (value == patch->second.end()) return 1608;  // ERROR_UNKNOWN_PROPERTY
    return CopyOut(value->second, buffer, count);
}

}  // namespace fake
