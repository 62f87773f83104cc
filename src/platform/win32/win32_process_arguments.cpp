#include <windows.h>
#include <shellapi.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

bool Win32ProcessArguments::read(std::vector<std::wstring>& arguments) {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) return false;
    arguments.clear();
    for (int i = 0; i < count; ++i) arguments.emplace_back(list[i]);
    LocalFree(list);
    return true;
}

}  // namespace platform::win32
