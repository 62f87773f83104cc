#pragma once
// The layout of a loaded executable image, read from its headers: which of
// its bytes are the bytes of its file, and where in the file they lie. The
// image is given as the loader maps it (each section at its virtual address),
// 32- or 64-bit; every field is read little-endian and within the bytes given.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

// The size of the mapped image whose headers start at `image`, from its
// optional header; nothing when the first `available` bytes hold no headers
// of an executable image.
std::optional<std::uint32_t> MappedImageSize(const unsigned char* image, std::size_t available);

// Where in the image's file the `size` bytes at offset `rva` of the mapped
// image lie: when they lie within the part of one section that comes from the
// file and no base relocation changes any of them. Nothing otherwise, and
// nothing when the headers or the relocations cannot be read within the
// `imageSize` bytes at `image`.
std::optional<std::uint64_t> FileOffsetOfRange(const unsigned char* image, std::size_t imageSize, std::uint64_t rva,
                                               std::uint64_t size);

}  // namespace platform
