#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

LocalTime Win32Clock::localTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    time.milliseconds = now.wMilliseconds;
    return time;
}

std::uint32_t Win32Clock::tickMilliseconds() { return GetTickCount(); }

void Win32Clock::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform::win32
