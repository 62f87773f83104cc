// The process entry: hands over to the portable entry point.
#include <windows.h>

#include <cstdlib>

#include "app/entry_point.h"
#include "platform/win32/win32_services.h"

// Replaces the library's default terminate handler, which prints the type of an
// uncaught exception and brings a name demangler of about 45 KB with it. The
// program has no console to print to, and may run unattended: it ends at once,
// with no box and the exit code of abort().
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::_Exit(3); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    platform::win32::RestrictDllSearchToSystemFolder();
    platform::win32::InstallServices();
    return RunEntryPoint(instance);
}
