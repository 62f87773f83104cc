// Which bytes of a loaded image are its file's bytes: a small image made here,
// and the real 32- and 64-bit installers the build makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/image_layout.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}
std::uint32_t Get(const Bytes& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | bytes[at + i];
    return value;
}

// A mapped 32-bit (or 64-bit) image of 16 KiB: ".data" at 0x1000 (8 KiB, from
// file offset 0x400) and the base relocations `blocks` in ".reloc" at 0x3000.
Bytes Image(const std::vector<std::vector<std::uint32_t>>& blocks, bool wide = false, std::uint32_t rawData = 0x400) {
    Bytes image(0x4000);
    const std::size_t optional = 0x58, directories = optional + (wide ? 112 : 96);
    const std::size_t sections = directories + 16 * 8;
    Put(image, 0, 0x5a4d, 2);
    Put(image, 0x3c, 0x40, 4);
    Put(image, 0x40, 0x4550, 4);
    Put(image, 0x46, 2, 2);
    Put(image, 0x54, sections - optional, 2);
    Put(image, optional, wide ? 0x20b : 0x10b, 2);
    Put(image, optional + 56, image.size(), 4);
    Put(image, directories - 4, 16, 4);
    const std::uint32_t table[2][4] = {{0x2000, 0x1000, 0x2000, rawData}, {0x1000, 0x3000, 0x1000, 0x2400}};
    for (int s = 0; s < 2; ++s) {
        for (int f = 0; f < 4; ++f) Put(image, sections + 40 * s + 8 + 4 * f, table[s][f], 4);
    }
    std::size_t at = 0x3000;
    for (const std::vector<std::uint32_t>& block : blocks) {  // page, then the entries
        const std::size_t size = 8 + 2 * (block.size() - 1);
        Put(image, at, block[0], 4);
        Put(image, at + 4, size, 4);
        for (std::size_t e = 1; e < block.size(); ++e) Put(image, at + 8 + 2 * (e - 1), block[e], 2);
        at += size;
    }
    Put(image, directories + 5 * 8, 0x3000, 4);
    Put(image, directories + 5 * 8 + 4, at - 0x3000, 4);
    return image;
}

// The range asked about throughout: 256 bytes at 0x2000, file offset 0x1400.
constexpr std::uint64_t kRange = 0x2000, kRangeSize = 0x100, kInFile = 0x1400;

TEST(ImageLayout, OnlyRelocationsThatChangeTheRangeKeepItFromTheFile) {
    const std::uint32_t at4 = 0x3000, at8 = 0xa000;  // entry types: 32- and 64-bit address
    struct Case {
        const char* what;
        std::vector<std::vector<std::uint32_t>> blocks;
        bool fromFile;
    } cases[] = {
        {"no relocations", {}, true},
        {"an address in the range", {{0x2000, at4 | 0x10}}, false},
        {"an address ending just before", {{0x1000, at4 | 0xffc}}, true},
        {"an address starting just before", {{0x1000, at4 | 0xffe}}, false},
        {"a 64-bit address ending just before", {{0x1000, at8 | 0xff8}}, true},
        {"a 64-bit address starting just before", {{0x1000, at8 | 0xffc}}, false},
        {"addresses early in the page before", {{0x1000, at4 | 0x100, at4 | 0x270, 0}}, true},
        {"padding in the range's page", {{0x1000, at4}, {0x2000, 0, 0}}, true},
        {"an address just after", {{0x2000, at4 | 0x100}}, true},
        {"an address ending in the range", {{0x2000, at4 | 0xfc}}, false},
        {"a later block that touches", {{0x1000, at4}, {0x2000, at4 | 0x80}}, false},
        {"an unknown kind of relocation", {{0x1000, 0x5000}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool wide : {false, true}) {
            const Bytes image = Image(c.blocks, wide);
            const std::optional<std::uint64_t> offset = platform::FileOffsetOfRange(image.data(), image.size(), kRange, kRangeSize);
            EXPECT_EQ(offset, c.fromFile ? std::optional<std::uint64_t>(kInFile) : std::nullopt);
        }
    }
}

TEST(ImageLayout, BytesOutsideASectionsFileDataOrUnreadableHeadersAreNotFromTheFile) {
    EXPECT_EQ(platform::MappedImageSize(Image({}).data(), 0x1000), 0x4000u);
    struct Case {
        const char* what;
        Bytes image;
        std::uint64_t rva, size;
        std::size_t available;
    } cases[] = {
        {"the headers", Image({}), 0x40, 0x10, 0x4000},
        {"past the section's data", Image({}), 0x2f00, 0x200, 0x4000},
        {"past the image", Image({}), 0x3f00, 0x200, 0x4000},
        {"a section not at a whole file unit", Image({}, false, 0x480), kRange, kRangeSize, 0x4000},
        {"relocations past the bytes given", Image({{0x1000, 0x3010}}), kRange, kRangeSize, 0x3004},
        {"a block larger than the relocations", [] { Bytes i = Image({{0x1000, 0x3010}}); Put(i, 0x3004, 64, 4); return i; }(),
         kRange, kRangeSize, 0x4000},
        {"no executable image", [] { Bytes i = Image({}); Put(i, 0x40, 0x4551, 4); return i; }(), kRange, kRangeSize,
         0x4000},
        {"headers past the bytes given", Image({}), 0, 0x10, 0x100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::FileOffsetOfRange(c.image.data(), c.available, c.rva, c.size), std::nullopt);
    }
}

// The installers the build makes (LAYOUT_IMAGES: their paths, separated by
// ':'), each carrying the package LAYOUT_PACKAGE: the image is mapped as the
// loader maps it, and the package's bytes, found there, must be read from
// where the file holds them, as must the whole resource section.
TEST(RealImages, ThePackageAndTheResourcesAreTheFilesBytes) {
    const char* images = std::getenv("LAYOUT_IMAGES");
    const char* packagePath = std::getenv("LAYOUT_PACKAGE");
    if (images == nullptr || packagePath == nullptr) GTEST_SKIP() << "LAYOUT_IMAGES and LAYOUT_PACKAGE not given";
    auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        EXPECT_TRUE(in) << path;
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    const Bytes package = read(packagePath);
    ASSERT_GT(package.size(), 0u);
    std::vector<std::uint32_t> machines;
    std::string list = images;
    for (std::size_t start = 0, end; start <= list.size(); start = end + 1) {
        end = std::min(list.find(':', start), list.size());
        const std::string path = list.substr(start, end - start);
        SCOPED_TRACE(path);
        const Bytes file = read(path);
        const std::optional<std::uint32_t> size = platform::MappedImageSize(file.data(), file.size());
        ASSERT_TRUE(size);
        const std::size_t nt = Get(file, 0x3c, 4), optional = nt + 24, sections = optional + Get(file, nt + 20, 2);
        machines.push_back(Get(file, nt + 4, 2));
        Bytes mapped(*size);
        std::copy_n(file.begin(), Get(file, optional + 60, 4), mapped.begin());  // SizeOfHeaders
        for (std::size_t s = sections; s < sections + 40 * Get(file, nt + 6, 2); s += 40) {
            const std::uint32_t raw = std::min(Get(file, s + 16, 4), Get(file, s + 8, 4));
            std::copy_n(file.begin() + Get(file, s + 20, 4), raw, mapped.begin() + Get(file, s + 12, 4));
        }
        const auto inMapped = std::search(mapped.begin(), mapped.end(), package.begin(), package.end());
        const auto inFile = std::search(file.begin(), file.end(), package.begin(), package.end());
        ASSERT_NE(inMapped, mapped.end());
        EXPECT_EQ(platform::FileOffsetOfRange(mapped.data(), mapped.size(), inMapped - mapped.begin(), package.size()),
                  static_cast<std::uint64_t>(inFile - file.begin()));
        const std::size_t resources = optional + (Get(file, optional, 2) == 0x20b ? 112 : 96) + 2 * 8;
        const std::uint32_t resourcesAt = Get(file, resources, 4);
        const std::optional<std::uint64_t> resourcesInFile =
            platform::FileOffsetOfRange(mapped.data(), mapped.size(), resourcesAt, Get(file, resources + 4, 4));
        ASSERT_TRUE(resourcesInFile);
        EXPECT_TRUE(std::equal(mapped.begin() + resourcesAt, mapped.begin() + resourcesAt + 64,
                               file.begin() + *resourcesInFile));
    }
    std::sort(machines.begin(), machines.end());
    EXPECT_EQ(machines, (std::vector<std::uint32_t>{0x14c, 0x8664})) << "a 32-bit and a 64-bit image";
}

}  // namespace
