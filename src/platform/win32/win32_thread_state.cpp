#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

std::uint32_t Win32ThreadState::lastError() { return GetLastError(); }
void Win32ThreadState::setLastError(std::uint32_t code) { SetLastError(code); }
std::uint32_t Win32ThreadState::threadLocale() { return GetThreadLocale(); }
bool Win32ThreadState::setThreadLocale(std::uint32_t lcid) { return SetThreadLocale(lcid) != FALSE; }
std::uint16_t Win32ThreadState::userDefaultUiLanguage() { return GetUserDefaultUILanguage(); }
std::uint32_t Win32ThreadState::threadId() { return GetCurrentThreadId(); }

std::optional<std::wstring> Win32ThreadState::accountName() {
    std::vector<unsigned char> user;
    if (!CurrentUser(user)) return std::nullopt;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    // The names of the process's own account come from its logon session:
    // no domain controller is asked.
    wchar_t name[257] = {}, domain[257] = {};
    DWORD nameSize = 257, domainSize = 257;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return domain[0] != L'\0' ? std::wstring(domain) + L"\\" + name : std::wstring(name);
    }
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    std::wstring result(text);
    LocalFree(text);
    return result;
}

}  // namespace platform::win32
