#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

bool Win32OsVersion::queryVersion(std::uint32_t recordSize, OsVersionRecord& record) {
    static_assert(sizeof(OSVERSIONINFOEXW) == kExtendedVersionRecordSize, "extended version record size");
    static_assert(sizeof(OSVERSIONINFOW) == kPlainVersionRecordSize, "plain version record size");
    if (recordSize != kExtendedVersionRecordSize && recordSize != kPlainVersionRecordSize) return false;

    // One extended record, carrying what the caller's record holds, so that
    // whatever the system does not write stays as it was.
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = recordSize;
    info.dwMajorVersion = record.majorVersion;
    info.dwMinorVersion = record.minorVersion;
    info.dwBuildNumber = record.buildNumber;
    info.dwPlatformId = record.platformId;
    info.wSuiteMask = record.suiteMask;
    info.wProductType = record.productType;

    // GetVersionExW is marked deprecated in newer headers; it is the call
    // this program means to make.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

    record.majorVersion = info.dwMajorVersion;
    record.minorVersion = info.dwMinorVersion;
    record.buildNumber = info.dwBuildNumber;
    record.platformId = info.dwPlatformId;
    record.suiteMask = info.wSuiteMask;
    record.productType = info.wProductType;
    return ok != FALSE;
}

std::uint16_t Win32OsVersion::processorArchitecture() {
    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    SYSTEM_INFO info;
    ZeroMemory(&info, sizeof(info));
    GetNativeSystemInfoFn getNative = nullptr;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr) {
        getNative = reinterpret_cast<GetNativeSystemInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")));
    }
    if (getNative != nullptr) {
        getNative(&info);
    } else {
        GetSystemInfo(&info);
    }
    return info.wProcessorArchitecture;
}

}  // namespace platform::win32
