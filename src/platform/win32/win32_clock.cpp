#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

LocalTime Win32Clock::localTime() {
    // The local time of one moment and the bias that made it, so that a
    // change of daylight saving between two calls cannot pair them wrongly.
    SYSTEMTIME utc, now;
    GetSystemTime(&utc);
    std::int16_t bias = 0;
    FILETIME utcFile, localFile;
    if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &now) && SystemTimeToFileTime(&utc, &utcFile) &&
        SystemTimeToFileTime(&now, &localFile)) {
        ULARGE_INTEGER u, l;
        u.LowPart = utcFile.dwLowDateTime;
        u.HighPart = utcFile.dwHighDateTime;
        l.LowPart = localFile.dwLowDateTime;
        l.HighPart = localFile.dwHighDateTime;
        // 100-nanosecond units; a bias is whole minutes.
        const long long difference = static_cast<long long>(u.QuadPart) - static_cast<long long>(l.QuadPart);
        bias = static_cast<std::int16_t>(difference / 600000000LL);
    } else {
        GetLocalTime(&now);
    }
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    time.milliseconds = now.wMilliseconds;
    time.biasMinutes = bias;
    return time;
}

std::uint32_t Win32Clock::tickMilliseconds() { return GetTickCount(); }

void Win32Clock::sleep(std::uint32_t milliseconds) { Sleep(milliseconds); }

}  // namespace platform::win32
