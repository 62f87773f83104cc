// Which bytes of a loaded image are its file's bytes: a small image made here,
// and the real 32- and 64-bit installers the build makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <functional>
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
// file offset 0x400) and the base relocations `blocks` (page, entries...) in
// ".reloc" at 0x3000.
constexpr std::size_t kOptional = 0x58;
std::size_t Sections(bool wide) { return kOptional + (wide ? 112 : 96) + 16 * 8; }
Bytes Image(const std::vector<std::vector<std::uint32_t>>& blocks, bool wide) {
    Bytes image(0x4000);
    const std::size_t relocations = Sections(wide) - 11 * 8;
    for (auto [at, value, size] : {std::array<std::uint64_t, 3>{0, 0x5a4d, 2}, {0x3c, 0x40, 4}, {0x40, 0x4550, 4},
                                   {0x46, 2, 2}, {0x54, Sections(wide) - kOptional, 2},
                                   {kOptional, wide ? 0x20bu : 0x10bu, 2}, {kOptional + 56, 0x4000, 4},
                                   {relocations - 44, 16, 4}, {relocations, 0x3000, 4}}) {
        Put(image, at, value, size);
    }
    const std::uint32_t table[2][4] = {{0x2000, 0x1000, 0x2000, 0x400}, {0x1000, 0x3000, 0x1000, 0x2400}};
    for (int f = 0; f < 8; ++f) Put(image, Sections(wide) + 40 * (f / 4) + 8 + 4 * (f % 4), table[f / 4][f % 4], 4);
    std::size_t at = 0x3000;
    for (const std::vector<std::uint32_t>& block : blocks) {
        Put(image, at, block[0], 4);
        Put(image, at + 4, 2 * block.size() + 6, 4);
        for (std::size_t e = 1; e < block.size(); ++e) Put(image, at + 6 + 2 * e, block[e], 2);
        at += 2 * block.size() + 6;
    }
    Put(image, relocations + 4, at - 0x3000, 4);
    return image;
}

// 256 bytes at 0x2000, from the file at 0x1400 unless a relocation changes
// them, or the image is changed so that they cannot be shown to be the file's.
TEST(ImageLayout, BytesComeFromTheFileOnlyWhereNoRelocationChangesThem) {
    const std::uint32_t at4 = 0x3000, at8 = 0xa000;  // entry types: a 32- and a 64-bit address
    using Change = std::function<void(Bytes&, std::size_t sections)>;
    struct Case {
        const char* what;
        std::vector<std::vector<std::uint32_t>> blocks;
        bool fromFile;
        Change change;
    } cases[] = {
        {"no relocations", {}, true, {}},
        {"an address ending just before", {{0x1000, at4 | 0xffc}}, true, {}},
        {"an address starting just before", {{0x1000, at4 | 0xffe}}, false, {}},
        {"a 64-bit address ending just before", {{0x1000, at8 | 0xff8}}, true, {}},
        {"a 64-bit address starting just before", {{0x1000, at8 | 0xffc}}, false, {}},
        {"addresses early in the page before", {{0x1000, at4 | 0x100, at4 | 0x270, 0}}, true, {}},
        {"padding in the range's page", {{0x1000, at4}, {0x2000, 0, 0}}, true, {}},
        {"an address just after", {{0x2000, at4 | 0x100}}, true, {}},
        {"an address ending in the range", {{0x2000, at4 | 0xfc}}, false, {}},
        {"a later block that touches", {{0x1000, at4}, {0x2000, at4 | 0x80}}, false, {}},
        {"an unknown kind of relocation", {{0x1000, 0x5000}}, false, {}},
        {"past the section's data in the file", {}, false, [](Bytes& i, std::size_t s) { Put(i, s + 16, 0x1000, 4); }},
        {"a section not at a whole file unit", {}, false, [](Bytes& i, std::size_t s) { Put(i, s + 20, 0x480, 4); }},
        {"relocations past the bytes given", {{0x1000, at4}}, false, [](Bytes& i, std::size_t) { i.resize(0x3004); }},
        {"a block larger than the relocations", {{0x1000, at4}}, false, [](Bytes& i, std::size_t) { Put(i, 0x3004, 64, 4); }},
        {"no executable image", {}, false, [](Bytes& i, std::size_t) { Put(i, 0x40, 0x4551, 4); }},
        {"headers past the bytes given", {}, false, [](Bytes& i, std::size_t) { i.resize(0x100); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool wide : {false, true}) {
            Bytes image = Image(c.blocks, wide);
            if (c.change) c.change(image, Sections(wide));
            EXPECT_EQ(platform::FileOffsetOfRange(image.data(), image.size(), 0x2000, 0x100),
                      c.fromFile ? std::optional<std::uint64_t>(0x1400) : std::nullopt);
        }
    }
}

// The installers the build makes (LAYOUT_IMAGES: their paths, separated by
// ':'), each carrying the package LAYOUT_PACKAGE: the image is mapped as the
// loader maps it, and the package's bytes, found there, must be read from
// where the file holds them.
TEST(RealImages, ThePackageIsReadWhereTheFileHoldsIt) {
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
    }
    std::sort(machines.begin(), machines.end());
    EXPECT_EQ(machines, (std::vector<std::uint32_t>{0x14c, 0x8664})) << "a 32-bit and a 64-bit image";
}

}  // namespace
