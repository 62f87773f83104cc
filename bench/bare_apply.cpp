// bare_apply PRODUCT_CODE PATCH LOGFILE FILES_IN_USE_TEXT
// The Windows Installer calls that a patch run makes for one target, and
// nothing else: a verbose log, basic user interface without Cancel, the
// configure call with the same command line, the interface level restored.
// Exit code 0 when the configure call succeeds, else 1.
#include <windows.h>
#include <msi.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) return 2;
    wchar_t patch[MAX_PATH] = {};
    if (GetFullPathNameW(argv[2], MAX_PATH, patch, nullptr) == 0) return 2;
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE, argv[3], 0);
    const std::wstring commandLine =
        std::wstring(L"PATCH=\"") + patch + L"\" REBOOTPROMPT=S FILESINUSETEXT=\"" + argv[4] + L"\"";
    const INSTALLUILEVEL previous =
        MsiSetInternalUI(static_cast<INSTALLUILEVEL>(INSTALLUILEVEL_BASIC | INSTALLUILEVEL_HIDECANCEL), nullptr);
    const UINT result = MsiConfigureProductExW(argv[1], INSTALLLEVEL_DEFAULT, INSTALLSTATE_DEFAULT, commandLine.c_str());
    MsiSetInternalUI(previous, nullptr);
    return result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED ? 0 : 1;
}
