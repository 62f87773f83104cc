#include <windows.h>

#include "platform/installer.h"
#include "platform/win32/win32_implementations.h"

namespace platform::win32 {
namespace {

using MsiGetSummaryInformationFn = UINT(WINAPI*)(DWORD, LPCWSTR, UINT, DWORD*);
using MsiSummaryInfoGetPropertyFn = UINT(WINAPI*)(DWORD, UINT, UINT*, INT*, FILETIME*, LPWSTR, DWORD*);
using MsiCloseHandleFn = UINT(WINAPI*)(DWORD);
using MsiQueryProductStateFn = INT(WINAPI*)(LPCWSTR);
using MsiGetProductInfoFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
using MsiEnableLogFn = UINT(WINAPI*)(DWORD, LPCWSTR, DWORD);
using MsiSetInternalUIFn = INT(WINAPI*)(INT, HWND*);
using MsiConfigureProductExFn = UINT(WINAPI*)(LPCWSTR, INT, INT, LPCWSTR);
using MsiGetPatchInfoExFn = UINT(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD*);

template <typename Fn>
Fn Entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// msi.dll, loaded from the system folder on first use and never from the
// folder the executable was started from. When it cannot be loaded, every
// call fails the way a failing service does.
class Win32Installer : public Installer {
public:
    std::uint32_t getSummaryInformation(const std::wstring& packagePath, InstallerHandle& handle) override {
        if (!load()) return loadError_;
        DWORD out = 0;
        UINT result = getSummaryInformation_(0, packagePath.c_str(), 0, &out);
        handle = out;
        return result;
    }

    std::uint32_t summaryInfoGetProperty(InstallerHandle handle, std::uint32_t propertyId, wchar_t* buffer,
                                         std::uint32_t& count) override {
        if (!load()) return loadError_;
        UINT type = 0;
        INT integer = 0;
        FILETIME time{};
        DWORD inOut = count;
        UINT result = summaryInfoGetProperty_(handle, propertyId, &type, &integer, &time, buffer, &inOut);
        count = inOut;
        return result;
    }

    void closeHandle(InstallerHandle handle) override {
        if (load()) closeHandle_(handle);
    }

    int queryProductState(const std::wstring& productCode) override {
        if (!load()) return kInstallStateUnknown;
        return queryProductState_(productCode.c_str());
    }

    std::uint32_t getProductInfo(const std::wstring& productCode, const std::wstring& property, wchar_t* buffer,
                                 std::uint32_t& count) override {
        if (!load()) return loadError_;
        DWORD inOut = count;
        UINT result = getProductInfo_(productCode.c_str(), property.c_str(), buffer, &inOut);
        count = inOut;
        return result;
    }

    std::uint32_t enableLog(std::uint32_t mode, const std::wstring& logPath, std::uint32_t attributes) override {
        if (!load()) return loadError_;
        return enableLog_(mode, logPath.empty() ? nullptr : logPath.c_str(), attributes);
    }

    int setInternalUI(int level) override {
        if (!load()) return 0;  // INSTALLUILEVEL_NOCHANGE: restoring it changes nothing
        return setInternalUI_(level, nullptr);
    }

    std::uint32_t configureProductEx(const std::wstring& productCode, int installLevel, int installState,
                                     const std::wstring& commandLine) override {
        if (!load()) return loadError_;
        return configureProductEx_(productCode.c_str(), installLevel, installState, commandLine.c_str());
    }

    std::uint32_t getPatchInfoEx(const std::wstring& patchCode, const std::wstring& productCode, std::uint32_t context,
                                 const std::wstring& property, wchar_t* buffer, std::uint32_t& count) override {
        if (!load()) return loadError_;
        if (getPatchInfoEx_ == nullptr) return ERROR_PROC_NOT_FOUND;
        DWORD inOut = count;
        UINT result = getPatchInfoEx_(patchCode.c_str(), productCode.c_str(), nullptr, context, property.c_str(),
                                      buffer, &inOut);
        count = inOut;
        return result;
    }

private:
    bool load() {
        if (attempted_) return loaded_;
        attempted_ = true;
        HMODULE module = LoadLibraryExW(L"msi.dll", nullptr, 0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
        if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
            // A system without the search flags: name the file in the system folder.
            wchar_t folder[MAX_PATH];
            UINT length = GetSystemDirectoryW(folder, MAX_PATH);
            if (length > 0 && length < MAX_PATH - 9) {
                std::wstring path(folder, length);
                path += L"\\msi.dll";
                module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
            }
        }
        if (module == nullptr) {
            loadError_ = GetLastError() != 0 ? GetLastError() : ERROR_MOD_NOT_FOUND;
            return false;
        }
        getSummaryInformation_ = Entry<MsiGetSummaryInformationFn>(module, "MsiGetSummaryInformationW");
        summaryInfoGetProperty_ = Entry<MsiSummaryInfoGetPropertyFn>(module, "MsiSummaryInfoGetPropertyW");
        closeHandle_ = Entry<MsiCloseHandleFn>(module, "MsiCloseHandle");
        queryProductState_ = Entry<MsiQueryProductStateFn>(module, "MsiQueryProductStateW");
        getProductInfo_ = Entry<MsiGetProductInfoFn>(module, "MsiGetProductInfoW");
        enableLog_ = Entry<MsiEnableLogFn>(module, "MsiEnableLogW");
        setInternalUI_ = Entry<MsiSetInternalUIFn>(module, "MsiSetInternalUI");
        configureProductEx_ = Entry<MsiConfigureProductExFn>(module, "MsiConfigureProductExW");
        // Only the own log asks for it: a Windows Installer older than 3.0
        // lacks it and still patches.
        getPatchInfoEx_ = Entry<MsiGetPatchInfoExFn>(module, "MsiGetPatchInfoExW");
        if (!getSummaryInformation_ || !summaryInfoGetProperty_ || !closeHandle_ || !queryProductState_ ||
            !getProductInfo_ || !enableLog_ || !setInternalUI_ || !configureProductEx_) {
            loadError_ = ERROR_PROC_NOT_FOUND;
            return false;
        }
        loaded_ = true;
        return true;
    }

    bool attempted_ = false;
    bool loaded_ = false;
    std::uint32_t loadError_ = ERROR_MOD_NOT_FOUND;
    MsiGetSummaryInformationFn getSummaryInformation_ = nullptr;
    MsiSummaryInfoGetPropertyFn summaryInfoGetProperty_ = nullptr;
    MsiCloseHandleFn closeHandle_ = nullptr;
    MsiQueryProductStateFn queryProductState_ = nullptr;
    MsiGetProductInfoFn getProductInfo_ = nullptr;
    MsiEnableLogFn enableLog_ = nullptr;
    MsiSetInternalUIFn setInternalUI_ = nullptr;
    MsiConfigureProductExFn configureProductEx_ = nullptr;
    MsiGetPatchInfoExFn getPatchInfoEx_ = nullptr;
};

}  // namespace

Installer* InstallerService() {
    static Win32Installer installer;
    return &installer;
}

}  // namespace platform::win32
