#include <windows.h>

#include "platform/win32/win32_implementations.h"

namespace platform::win32 {
namespace {

class Key {
public:
    ~Key() {
        if (handle != nullptr) RegCloseKey(handle);
    }
    HKEY handle = nullptr;
};

// How often a value that grows between the size's query and its read is read again.
constexpr int kReadAttempts = 4;

RegistryEntry Failed(LSTATUS status) {
    RegistryEntry entry;
    // A key or value that is not there is an answer, not a failure.
    if (status == ERROR_FILE_NOT_FOUND) return entry;
    entry.presence = RegistryPresence::Unreadable;
    entry.error = static_cast<std::uint32_t>(status);
    return entry;
}

}  // namespace

RegistryEntry Win32Registry::machine(const std::wstring& key, const std::wstring& name) {
    Key opened;
    LSTATUS status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened.handle);
    if (status != ERROR_SUCCESS) return Failed(status);
    RegistryEntry entry;
    entry.presence = RegistryPresence::Present;
    if (name.empty()) return entry;

    std::wstring data;
    DWORD type = REG_NONE;
    DWORD size = 0;
    status = RegQueryValueExW(opened.handle, name.c_str(), nullptr, &type, nullptr, &size);
    for (int attempt = 0; attempt < kReadAttempts && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA);
         ++attempt) {
        // Room for two terminators more than the value holds: its data need not end with them.
        data.assign((size + 1) / sizeof(wchar_t) + 2, L'\0');
        DWORD capacity = static_cast<DWORD>((data.size() - 2) * sizeof(wchar_t));
        status = RegQueryValueExW(opened.handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                                  &capacity);
        size = capacity;
        if (status == ERROR_SUCCESS) break;
    }
    if (status != ERROR_SUCCESS) return Failed(status);
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return entry;
    // The string's terminator, and a list's empty string after its last
    // one; the strings of a list may be empty themselves (a file rename's
    // empty target means a deletion).
    data.resize(size / sizeof(wchar_t));
    if (!data.empty() && data.back() == L'\0') data.pop_back();
    if (type == REG_MULTI_SZ && !data.empty() && data.back() == L'\0') data.pop_back();
    for (std::size_t start = 0; !data.empty();) {
        const std::size_t end = data.find(L'\0', start);
        entry.strings.push_back(data.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return entry;
}

}  // namespace platform::win32
