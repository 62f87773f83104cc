// A DLL named msi.dll that someone put beside an executable. When loaded, it
// creates the file named by the environment variable PLANTED_DLL_MARKER.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(L"PLANTED_DLL_MARKER", path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}
