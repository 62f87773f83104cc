// Loads "msi.dll" by name with the default search order, which looks in the
// program's own folder first. With --restricted it first sets the limit on
// DLL loading that the updater sets at start. Exit code 0 when a DLL was loaded.
#include <windows.h>

#include <string>

#include "platform/win32/win32_services.h"

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--restricted") {
        platform::win32::RestrictDllSearchToSystemFolder();
    }
    return LoadLibraryW(L"msi.dll") != nullptr ? 0 : 1;
}
