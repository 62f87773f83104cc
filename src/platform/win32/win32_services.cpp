#include "platform/win32/win32_services.h"

#include <windows.h>

#include "platform/services.h"
#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

void RestrictDllSearchToSystemFolder() {
    // SetDefaultDllDirectories exists from Windows 8 on, and on Windows 7
    // with its loader update; look it up rather than import it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr) {
        auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault != nullptr) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    }
    // Older systems: at least take the current folder out of the search.
    SetDllDirectoryW(L"");
}

void InstallServices() {
    static Win32FileSystem files;
    static Win32Resources resources;
    static Win32ThreadState thread;
    static Win32MessageBoxes boxes;
    static Win32ProcessArguments arguments;
    static Win32OsVersion osVersion;
    static Win32Clock clock;
    static Win32WindowStation station;
    static Win32Registry registry;
    Services services;
    services.files = &files;
    services.resources = &resources;
    services.thread = &thread;
    services.boxes = &boxes;
    services.arguments = &arguments;
    services.installer = InstallerService();
    services.osVersion = &osVersion;
    services.clock = &clock;
    services.station = &station;
    services.registry = &registry;
    Install(services);
}

}  // namespace platform::win32
