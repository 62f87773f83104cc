#include "platform/win32/win32_image_bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::win32 {
namespace {

// Paths of up to this many characters are looked for (the system's limit).
constexpr DWORD kMaxModulePathChars = 32768;
// A relocation changes up to this many bytes from an offset below a page.
constexpr std::uint64_t kRelocatedSpan = 0x1000 + 8;
// The loader reads a section from its file offset rounded down to this.
constexpr DWORD kRawDataUnit = 0x200;

using AreMappedFilesTheSameFn = LONG(NTAPI*)(PVOID, PVOID);

// True when a relocation block of the image covers any of the bytes
// [rva, rva + size), or the relocations cannot be read.
bool Relocated(const unsigned char* base, const IMAGE_NT_HEADERS* nt, std::uint64_t rva, std::uint64_t size) {
    const IMAGE_DATA_DIRECTORY& relocations = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    std::uint64_t at = relocations.VirtualAddress;
    const std::uint64_t end = at + relocations.Size;
    if (relocations.Size == 0) return false;
    if (end > nt->OptionalHeader.SizeOfImage) return true;
    while (end - at >= sizeof(IMAGE_BASE_RELOCATION)) {
        const auto* block = reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + at);
        if (block->SizeOfBlock < sizeof(IMAGE_BASE_RELOCATION) || block->SizeOfBlock > end - at) return true;
        if (block->VirtualAddress < rva + size && rva < block->VirtualAddress + kRelocatedSpan) return true;
        at += block->SizeOfBlock;
    }
    return false;
}

// Where in the file of the image at `base` the `size` bytes at `data` are,
// when they lie within the part of one section that comes from the file and
// no relocation changes them.
std::optional<std::uint64_t> FileOffset(const unsigned char* base, const unsigned char* data, std::size_t size) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return std::nullopt;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) {
        return std::nullopt;
    }
    const std::uint64_t rva = static_cast<std::uint64_t>(data - base);
    if (rva >= nt->OptionalHeader.SizeOfImage || size > nt->OptionalHeader.SizeOfImage - rva) return std::nullopt;
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        std::uint64_t fromFile = section->SizeOfRawData;
        if (section->Misc.VirtualSize != 0 && section->Misc.VirtualSize < fromFile) {
            fromFile = section->Misc.VirtualSize;
        }
        if (rva < section->VirtualAddress || rva + size > section->VirtualAddress + fromFile) continue;
        if (section->PointerToRawData % kRawDataUnit != 0 || Relocated(base, nt, rva, size)) return std::nullopt;
        return section->PointerToRawData + (rva - section->VirtualAddress);
    }
    return std::nullopt;
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
