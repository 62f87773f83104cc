// Prints what the product's readers get from real packages and products.
//
//   installer_probe summary <package path>
//       template-ok=<0|1> / template=<text> / keywords-ok=<0|1> / upgrade=<text>
//       / targets=<text> / last-error=<n>; outputs that a failed read leaves
//       untouched print as "(untouched)".
//   installer_probe product <product code>
//       installed=<0|1> / version=<text> / name=<text> / language=<text>
//   --unguarded-process as the first argument skips the process-wide limit on
//   DLL loading that the updater sets at start, so that the Windows Installer
//   layer's own loading is tested alone.
//
// Lines are UTF-8.
#include <windows.h>

#include <cstdio>
#include <string>

#include "package/summary_information.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "platform/win32/win32_services.h"
#include "products/installed_products.h"

namespace {

void Print(const char* key, const std::wstring& value) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), &utf8[0], bytes, nullptr,
                            nullptr);
    }
    std::printf("%s=%s\n", key, utf8.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1 && std::wstring(argv[1]) == L"--unguarded-process") {
        --argc;
        ++argv;
    } else {
        platform::win32::RestrictDllSearchToSystemFolder();
    }
    platform::win32::InstallServices();
    if (argc != 3) {
        std::fprintf(stderr, "usage: installer_probe summary <path> | product <code>\n");
        return 2;
    }
    const std::wstring command = argv[1];
    const std::wstring argument = argv[2];
    const std::wstring untouched = L"(untouched)";

    if (command == L"summary") {
        std::wstring codes = untouched, upgrade = untouched, targets = untouched;
        bool templateOk = ReadTargetProductCodes(argument, codes);
        platform::Current().thread->setLastError(0);
        bool keywordsOk = ReadPatchVersions(argument, upgrade, targets);
        const unsigned lastError = platform::Current().thread->lastError();
        Print("template-ok", templateOk ? L"1" : L"0");
        Print("template", codes);
        Print("keywords-ok", keywordsOk ? L"1" : L"0");
        Print("upgrade", upgrade);
        Print("targets", targets);
        Print("last-error", keywordsOk ? L"0" : std::to_wstring(lastError));
        return 0;
    }
    if (command == L"product") {
        const bool installed = IsProductInstalled(argument);
        Print("installed", installed ? L"1" : L"0");
        if (installed) {
            std::wstring name, language;
            Print("version", GetInstalledVersionString(argument));
            GetProductNameAndLanguage(argument, name, language);
            Print("name", name);
            Print("language", language);
        }
        return 0;
    }
    std::fprintf(stderr, "unknown command\n");
    return 2;
}
