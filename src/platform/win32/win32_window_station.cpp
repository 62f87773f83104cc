#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

StationCheck Win32WindowStation::check() {
    StationCheck result;
    // The process's station handle belongs to the system: it is not closed.
    HWINSTA station = GetProcessWindowStation();
    if (station == nullptr) {
        result.error = GetLastError();
        return result;
    }
    // The name only for the log; a name that does not fit stays empty.
    wchar_t name[256] = {};
    DWORD needed = 0;
    if (GetUserObjectInformationW(station, UOI_NAME, name, sizeof(name) - sizeof(wchar_t), &needed)) {
        result.name = name;
    }
    USEROBJECTFLAGS flags = {};
    if (!GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
        result.error = GetLastError();
        return result;
    }
    result.visibility = (flags.dwFlags & WSF_VISIBLE) != 0 ? StationVisibility::Visible : StationVisibility::Invisible;
    return result;
}

}  // namespace platform::win32
