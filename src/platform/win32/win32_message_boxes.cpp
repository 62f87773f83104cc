#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

bool Win32MessageBoxes::show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
    // 0 is no button: the box was never there to be answered.
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), style) != 0;
}

}  // namespace platform::win32
