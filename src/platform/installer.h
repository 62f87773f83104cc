#pragma once
// The Windows Installer service, reached through these nine calls only.
// Buffers and counts behave as the service's own: counts are in characters,
// and on 234 (more data) the count holds the length needed without the
// terminator.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using InstallerHandle = std::uint32_t;

constexpr std::uint32_t kInstallerSuccess = 0;
constexpr std::uint32_t kInstallerMoreData = 234;        // ERROR_MORE_DATA
constexpr int kInstallStateAdvertised = 1;               // INSTALLSTATE_ADVERTISED
constexpr int kInstallStateDefault = 5;                  // INSTALLSTATE_DEFAULT
constexpr int kInstallStateUnknown = -1;                 // INSTALLSTATE_UNKNOWN
constexpr std::uint32_t kLogModeVerbose = 0x1000;        // INSTALLLOGMODE_VERBOSE
constexpr std::uint32_t kLogAttributesAppend = 0x1;      // INSTALLLOGATTRIBUTES_APPEND
constexpr int kUiLevelBasicHideCancel = 0x23;            // INSTALLUILEVEL_BASIC | INSTALLUILEVEL_HIDECANCEL
constexpr int kUiLevelProgressOnly = 0x63;               // the same | INSTALLUILEVEL_PROGRESSONLY
constexpr int kUiLevelNone = 2;                          // INSTALLUILEVEL_NONE
constexpr int kInstallLevelDefault = 0;                  // INSTALLLEVEL_DEFAULT
constexpr std::uint32_t kContextUserManaged = 1;         // MSIINSTALLCONTEXT_USERMANAGED
constexpr std::uint32_t kContextUserUnmanaged = 2;       // MSIINSTALLCONTEXT_USERUNMANAGED
constexpr std::uint32_t kContextMachine = 4;             // MSIINSTALLCONTEXT_MACHINE

// The text a call left in `buffer`: up to its first zero, never past its end.
inline std::wstring TextUpToTerminator(const std::vector<wchar_t>& buffer) {
    std::size_t length = 0;
    while (length < buffer.size() && buffer[length] != L'\0') ++length;
    return std::wstring(buffer.data(), length);
}

class Installer {
public:
    virtual ~Installer() = default;

    // MsiGetSummaryInformationW(0, packagePath, 0, &handle).
    virtual std::uint32_t getSummaryInformation(const std::wstring& packagePath, InstallerHandle& handle) = 0;

    // MsiSummaryInfoGetPropertyW(handle, propertyId, ..., buffer, &count);
    // the type, integer and file-time outputs are dropped.
    virtual std::uint32_t summaryInfoGetProperty(InstallerHandle handle, std::uint32_t propertyId, wchar_t* buffer,
                                                 std::uint32_t& count) = 0;

    // MsiCloseHandle.
    virtual void closeHandle(InstallerHandle handle) = 0;

    // MsiQueryProductStateW.
    virtual int queryProductState(const std::wstring& productCode) = 0;

    // MsiGetProductInfoW.
    virtual std::uint32_t getProductInfo(const std::wstring& productCode, const std::wstring& property,
                                         wchar_t* buffer, std::uint32_t& count) = 0;

    // MsiEnableLogW(mode, logPath, attributes); an empty path is passed as
    // no path at all, which turns logging off.
    virtual std::uint32_t enableLog(std::uint32_t mode, const std::wstring& logPath, std::uint32_t attributes) = 0;

    // MsiSetInternalUI(level, no window); returns the previous level.
    virtual int setInternalUI(int level) = 0;

    // MsiConfigureProductExW(productCode, installLevel, installState, commandLine).
    virtual std::uint32_t configureProductEx(const std::wstring& productCode, int installLevel, int installState,
                                             const std::wstring& commandLine) = 0;

    // MsiGetPatchInfoExW(patchCode, productCode, no user SID (the current
    // user), context, property, buffer, &count).
    virtual std::uint32_t getPatchInfoEx(const std::wstring& patchCode, const std::wstring& productCode,
                                         std::uint32_t context, const std::wstring& property, wchar_t* buffer,
                                         std::uint32_t& count) = 0;
};

}  // namespace platform
