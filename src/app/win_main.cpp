// The process entry: hands over to the portable entry point.
#include <windows.h>

#include "app/entry_point.h"
#include "platform/win32/win32_services.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    platform::win32::RestrictDllSearchToSystemFolder();
    platform::win32::InstallServices();
    return RunEntryPoint(instance);
}
