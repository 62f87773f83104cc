// Prints the raw answers of the version and processor queries, one
// "key=value" line each, made the way the updater makes them:
//
//   extended-ok, extended-major, -minor, -build, -platform, -product-type,
//   -suite-mask        GetVersionExW with a zeroed 284-byte record
//   plain-ok, plain-major, -minor, -build, -platform
//                      GetVersionExW with a zeroed 276-byte record
//   native-lookup      whether kernel32.dll has GetNativeSystemInfo
//   native-architecture, system-architecture
//                      wProcessorArchitecture of each (native: 65535 when
//                      there is no such function)
//   pointer-bits       32 or 64, the probe's own build
#include <windows.h>

#include <cstdio>

namespace {

void Print(const char* key, unsigned long value) { std::printf("%s=%lu\n", key, value); }

}  // namespace

int wmain() {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    OSVERSIONINFOEXW extended;
    ZeroMemory(&extended, sizeof(extended));
    extended.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    const BOOL extendedOk = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended));

    OSVERSIONINFOW plain;
    ZeroMemory(&plain, sizeof(plain));
    plain.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    const BOOL plainOk = GetVersionExW(&plain);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

    Print("record-sizes", sizeof(OSVERSIONINFOEXW) * 1000 + sizeof(OSVERSIONINFOW));
    Print("extended-ok", extendedOk ? 1 : 0);
    Print("extended-major", extended.dwMajorVersion);
    Print("extended-minor", extended.dwMinorVersion);
    Print("extended-build", extended.dwBuildNumber);
    Print("extended-platform", extended.dwPlatformId);
    Print("extended-product-type", extended.wProductType);
    Print("extended-suite-mask", extended.wSuiteMask);
    Print("plain-ok", plainOk ? 1 : 0);
    Print("plain-major", plain.dwMajorVersion);
    Print("plain-minor", plain.dwMinorVersion);
    Print("plain-build", plain.dwBuildNumber);
    Print("plain-platform", plain.dwPlatformId);

    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto getNative = kernel == nullptr ? nullptr
                                       : reinterpret_cast<GetNativeSystemInfoFn>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel, "GetNativeSystemInfo")));
    SYSTEM_INFO native;
    ZeroMemory(&native, sizeof(native));
    native.wProcessorArchitecture = 0xFFFF;
    if (getNative != nullptr) getNative(&native);
    SYSTEM_INFO system;
    ZeroMemory(&system, sizeof(system));
    GetSystemInfo(&system);
    Print("native-lookup", getNative != nullptr ? 1 : 0);
    Print("native-architecture", native.wProcessorArchitecture);
    Print("system-architecture", system.wProcessorArchitecture);
    Print("pointer-bits", sizeof(void*) * 8);
    return 0;
}
