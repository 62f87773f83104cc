#include "platform/win32/win32_image_bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/image_layout.h"

namespace platform::win32 {
namespace {

// Paths of up to this many characters are looked for (the system's limit).
constexpr DWORD kMaxModulePathChars = 32768;
// The headers of a loaded image lie within its first page.
constexpr std::size_t kHeaderPage = 0x1000;

using AreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID, PVOID);

// Where in the file of the image at `base` the `size` bytes at `data` are,
// when they are the file's bytes (image_layout.h).
std::optional<std::uint64_t> FileOffset(const unsigned char* base, const unsigned char* data, std::size_t size) {
    const std::optional<std::uint32_t> imageSize = MappedImageSize(base, kHeaderPage);
    if (!imageSize) return std::nullopt;
    return FileOffsetOfRange(base, *imageSize, static_cast<std::uint64_t>(data - base), size);
}

std::optional<std::wstring> ModulePath(HMODULE module) {
    for (DWORD capacity = MAX_PATH;; capacity *= 2) {
        if (capacity > kMaxModulePathChars) return std::nullopt;
        std::vector<wchar_t> buffer(capacity);
        const DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
        if (length == 0) return std::nullopt;
        if (length < capacity) return std::wstring(buffer.data(), length);
    }
}

// True when the system says that `file` is the file the image at `module`
// was mapped from.
bool IsImageFile(HMODULE module, HANDLE file) {
    static const auto areSame = reinterpret_cast<AreMappedFilesTheSameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtAreMappedFilesTheSame")));
    if (areSame == nullptr) return false;
    HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1);
    const bool same = view != nullptr && areSame(module, view) == 0;
    if (view != nullptr) UnmapViewOfFile(view);
    CloseHandle(mapping);
    return same;
}

}  // namespace

ImageBytesReader::ImageBytesReader(const void* data, std::size_t size) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(data), &module)) {
        return;
    }
    const std::optional<std::uint64_t> offset = FileOffset(
        reinterpret_cast<const unsigned char*>(module), static_cast<const unsigned char*>(data), size);
    if (!offset) return;
    const std::optional<std::wstring> path = ModulePath(module);
    if (!path) return;
    // Whatever the name leads to now is opened as itself: a link is not
    // followed, and a pipe's server may not act as this process.
    HANDLE file = CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(*offset);
    if (GetFileType(file) != FILE_TYPE_DISK || !IsImageFile(module, file) ||
        !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        CloseHandle(file);
        return;
    }
    file_ = file;
}

ImageBytesReader::~ImageBytesReader() {
    if (ready()) CloseHandle(file_);
}

bool ImageBytesReader::read(void* buffer, DWORD size) {
    DWORD got = 0;
    return ready() && ReadFile(file_, buffer, size, &got, nullptr) && got == size;
}

}  // namespace platform::win32
