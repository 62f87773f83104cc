// Reads 8 KiB of its own image through the reader that writes packages, and
// prints what it got: from its own file, from memory that belongs to no image,
// and after its file was renamed and a copy of it put under its name.
//
//   image_bytes_probe  ->  own=<ready><same> / heap=<ready> / replaced=<ready>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_image_bytes.h"

namespace {

constexpr std::size_t kSize = 8192;

// Bytes in the image, in a section of their own as a package is in the
// resources: pages of constants may hold addresses, which relocations change.
struct Pattern {
    unsigned char bytes[kSize];
    constexpr Pattern() : bytes() {
        for (std::size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<unsigned char>((i * 7 + i / 256) & 0xff);
    }
};
__attribute__((section(".pattern"))) constexpr Pattern kPattern;

// "<ready><same>": whether the reader was ready, and whether it read the bytes at `data`.
std::string Read(const unsigned char* data) {
    platform::win32::ImageBytesReader reader(data, kSize);
    std::vector<unsigned char> got(kSize);
    const bool same = reader.ready() && reader.read(got.data(), kSize) && std::memcmp(got.data(), data, kSize) == 0;
    return std::string(reader.ready() ? "1" : "0") + (same ? "1" : "0");
}

}  // namespace

int wmain() {
    std::printf("own=%s\n", Read(kPattern.bytes).c_str());
    std::vector<unsigned char> heap(kPattern.bytes, kPattern.bytes + kSize);
    std::printf("heap=%s\n", Read(heap.data()).c_str());

    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    const std::wstring moved = std::wstring(self) + L".moved";
    if (!MoveFileW(self, moved.c_str()) || !CopyFileW(moved.c_str(), self, TRUE)) return 2;
    std::printf("replaced=%s\n", Read(kPattern.bytes).c_str());
    return 0;
}
