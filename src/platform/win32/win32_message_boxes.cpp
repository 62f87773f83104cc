#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

void Win32MessageBoxes::show(const std::wstring& text, const std::wstring& caption, std::uint32_t style) {
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
}

}  // namespace platform::win32
