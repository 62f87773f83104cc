#include "platform/image_layout.h"

namespace platform {
namespace {

constexpr std::uint32_t kDosSignature = 0x5a4d;      // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr std::uint32_t kOptionalHeader32 = 0x10b;
constexpr std::uint32_t kOptionalHeader64 = 0x20b;
constexpr std::uint64_t kFileHeaderEnd = 24;         // signature and file header
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint32_t kBaseRelocationDirectory = 5;
constexpr std::uint64_t kRelocationBlockHeader = 8;  // page and size of the block
// The loader reads a section from its file offset rounded down to this.
constexpr std::uint64_t kRawDataUnit = 0x200;

// The bytes of the image, read only where there are any.
class Bytes {
public:
    Bytes(const unsigned char* data, std::uint64_t size) : data_(data), size_(size) {}
    bool holds(std::uint64_t at, std::uint64_t length) const { return at <= size_ && length <= size_ - at; }
    std::uint32_t u16(std::uint64_t at) const { return data_[at] | static_cast<std::uint32_t>(data_[at + 1]) << 8; }
    std::uint32_t u32(std::uint64_t at) const { return u16(at) | u16(at + 2) << 16; }

private:
    const unsigned char* data_;
    std::uint64_t size_;
};

struct Headers {
    std::uint32_t imageSize = 0;
    std::uint64_t sections = 0;  // where the first section header is
    std::uint32_t sectionCount = 0;
    std::uint32_t relocations = 0;  // where the base relocations are, and their size
    std::uint32_t relocationsSize = 0;
};

std::optional<Headers> ReadHeaders(const Bytes& bytes) {
    if (!bytes.holds(0, 0x40) || bytes.u16(0) != kDosSignature) return std::nullopt;
    const std::uint64_t nt = bytes.u32(0x3c);
    if (!bytes.holds(nt, kFileHeaderEnd) || bytes.u32(nt) != kPeSignature) return std::nullopt;
    const std::uint64_t optional = nt + kFileHeaderEnd;
    const std::uint32_t optionalSize = bytes.u16(nt + 20);
    if (optionalSize < 2 || !bytes.holds(optional, optionalSize)) return std::nullopt;
    const std::uint32_t magic = bytes.u16(optional);
    const std::uint64_t directories = magic == kOptionalHeader32 ? 96 : magic == kOptionalHeader64 ? 112 : 0;
    if (directories == 0 || optionalSize < directories) return std::nullopt;
    Headers headers;
    headers.imageSize = bytes.u32(optional + 56);
    headers.sections = optional + optionalSize;
    headers.sectionCount = bytes.u16(nt + 6);
    if (!bytes.holds(headers.sections, headers.sectionCount * kSectionHeaderSize)) return std::nullopt;
    const std::uint64_t relocationEntry = optional + directories + kBaseRelocationDirectory * 8;
    if (bytes.u32(optional + directories - 4) > kBaseRelocationDirectory &&
        relocationEntry + 8 <= optional + optionalSize) {
        headers.relocations = bytes.u32(relocationEntry);
        headers.relocationsSize = bytes.u32(relocationEntry + 4);
    }
    return headers;
}

// How many bytes a base relocation of `type` changes (0: padding); nothing
// for a type this reader does not know.
std::optional<std::uint64_t> RelocatedBytes(std::uint32_t type) {
    switch (type) {
        case 0: return 0;          // absolute: fills a block to a multiple of 4 bytes
        case 1: case 2: return 2;  // high or low half of an address
        case 3: return 4;          // a 32-bit address
        case 10: return 8;         // a 64-bit address
        default: return std::nullopt;
    }
}

// True when a base relocation of the image changes any of the bytes
// [rva, rva + size), or the relocations cannot be read.
bool Relocated(const Bytes& bytes, const Headers& headers, std::uint64_t rva, std::uint64_t size) {
    if (headers.relocationsSize == 0) return false;
    if (!bytes.holds(headers.relocations, headers.relocationsSize)) return true;
    std::uint64_t block = headers.relocations;
    const std::uint64_t end = block + headers.relocationsSize;
    while (end - block >= kRelocationBlockHeader) {
        const std::uint64_t page = bytes.u32(block);
        const std::uint64_t blockSize = bytes.u32(block + 4);
        if (blockSize < kRelocationBlockHeader || blockSize > end - block) return true;
        for (std::uint64_t entry = block + kRelocationBlockHeader; entry + 2 <= block + blockSize; entry += 2) {
            const std::uint32_t value = bytes.u16(entry);
            const std::optional<std::uint64_t> changed = RelocatedBytes(value >> 12);
            if (!changed) return true;
            const std::uint64_t at = page + (value & 0xfff);
            if (*changed != 0 && at < rva + size && rva < at + *changed) return true;
        }
        block += blockSize;
    }
    return false;
}

}  // namespace

std::optional<std::uint32_t> MappedImageSize(const unsigned char* image, std::size_t available) {
    const std::optional<Headers> headers = ReadHeaders(Bytes(image, available));
    if (!headers) return std::nullopt;
    return headers->imageSize;
}

std::optional<std::uint64_t> FileOffsetOfRange(const unsigned char* image, std::size_t imageSize, std::uint64_t rva,
                                               std::uint64_t size) {
    const Bytes bytes(image, imageSize);
    const std::optional<Headers> headers = ReadHeaders(bytes);
    if (!headers || !bytes.holds(rva, size) || rva + size > headers->imageSize) return std::nullopt;
    for (std::uint32_t i = 0; i < headers->sectionCount; ++i) {
        const std::uint64_t section = headers->sections + i * kSectionHeaderSize;
        const std::uint64_t virtualSize = bytes.u32(section + 8);
        const std::uint64_t address = bytes.u32(section + 12);
        const std::uint64_t rawPointer = bytes.u32(section + 20);
        std::uint64_t fromFile = bytes.u32(section + 16);
        if (virtualSize != 0 && virtualSize < fromFile) fromFile = virtualSize;
        if (rva < address || rva + size > address + fromFile) continue;
        if (rawPointer % kRawDataUnit != 0 || Relocated(bytes, *headers, rva, size)) return std::nullopt;
        return rawPointer + (rva - address);
    }
    return std::nullopt;
}

}  // namespace platform
