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

// The image's load configuration, which the linker points the header's directory at. Its
// DependentLoadFlags (the field this SDK still calls Reserved1) is LOAD_LIBRARY_SEARCH_SYSTEM32:
// the loader resolves the program's own imports from the system folder only, before any of its
// code runs, so a DLL placed beside it (in a downloads folder, say) is never loaded. The rest is
// zero: no SafeSEH table, no control-flow guard, the default heap and critical-section settings.
// Constant-initialised, so the bytes are in the file: the loader reads them before any code runs.
extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used;
constexpr IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = [] {
    IMAGE_LOAD_CONFIG_DIRECTORY config{};
    config.Size = sizeof config;
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}();
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    platform::win32::RestrictDllSearchToSystemFolder();
    platform::win32::InstallServices();
    return RunEntryPoint(instance);
}
