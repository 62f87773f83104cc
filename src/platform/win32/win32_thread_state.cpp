#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

std::uint32_t Win32ThreadState::lastError() { return GetLastError(); }
void Win32ThreadState::setLastError(std::uint32_t code) { SetLastError(code); }
std::uint32_t Win32ThreadState::threadLocale() { return GetThreadLocale(); }
bool Win32ThreadState::setThreadLocale(std::uint32_t lcid) { return SetThreadLocale(lcid) != FALSE; }
std::uint16_t Win32ThreadState::userDefaultUiLanguage() { return GetUserDefaultUILanguage(); }

}  // namespace platform::win32
