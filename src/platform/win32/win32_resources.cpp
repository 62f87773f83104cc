#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {

std::optional<ResourceBytes> Win32Resources::find(ModuleHandle module, const std::wstring& type,
                                                  const std::wstring& name) {
    HMODULE handle = static_cast<HMODULE>(module);
    HRSRC info = FindResourceW(handle, name.c_str(), type.c_str());
    if (info == nullptr) return std::nullopt;
    DWORD size = SizeofResource(handle, info);
    // A lookup that failed earlier may have left "not found" behind.
    SetLastError(ERROR_SUCCESS);
    HGLOBAL loaded = LoadResource(handle, info);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        // Found but not readable: never to be taken for a resource that is not there.
        if (GetLastError() == 0) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return std::nullopt;
    }
    ResourceBytes bytes;
    bytes.data = static_cast<const unsigned char*>(data);
    bytes.size = size;
    return bytes;
}

std::optional<std::wstring> Win32Resources::loadString(ModuleHandle module, unsigned id) {
    // With a buffer size of 0 the loader hands out a pointer into the
    // read-only resource itself, so no text is ever cut here.
    const wchar_t* text = nullptr;
    int length = LoadStringW(static_cast<HINSTANCE>(module), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return std::nullopt;
    return std::wstring(text, static_cast<std::size_t>(length));
}

std::optional<std::wstring> Win32Resources::loadStringInLanguage(ModuleHandle module, unsigned id,
                                                                 std::uint16_t langId) {
    // Strings are stored in blocks of 16 counted strings; block n holds the
    // identifiers (n - 1) * 16 to n * 16 - 1.
    HMODULE handle = static_cast<HMODULE>(module);
    HRSRC info = FindResourceExW(handle, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), langId);
    if (info == nullptr) return std::nullopt;
    DWORD size = SizeofResource(handle, info);
    // A lookup that failed earlier may have left "not found" behind.
    SetLastError(ERROR_SUCCESS);
    HGLOBAL loaded = LoadResource(handle, info);
    if (loaded == nullptr) return std::nullopt;
    const WCHAR* block = static_cast<const WCHAR*>(LockResource(loaded));
    if (block == nullptr) return std::nullopt;

    const std::size_t totalChars = size / sizeof(WCHAR);
    std::size_t pos = 0;
    for (unsigned index = 0; index < 16; ++index) {
        if (pos >= totalChars) return std::nullopt;
        const std::size_t length = block[pos++];
        if (length > totalChars - pos) return std::nullopt;  // a damaged block
        if (index == id % 16) {
            if (length == 0) return std::nullopt;
            return std::wstring(block + pos, length);
        }
        pos += length;
    }
    return std::nullopt;
}

}  // namespace platform::win32
