#pragma once
// A version of four unsigned 16-bit numbers read from dotted text. Versions
// are only ever compared for equality.
#include <cstdint>
#include <string>

struct FourPartVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    void clear();
    void set(std::uint16_t newMajor, std::uint16_t newMinor, std::uint16_t newBuild, std::uint16_t newRevision);

    // Reads "a.b.c.d" (or with "," between the parts). A part counts only when
    // a dot follows it, except the fourth: "7.1.2" reads as 7.1.0.0. Each part
    // keeps the low 16 bits of its decimal value.
    void parse(std::wstring text);

    // The four numbers joined by dots, without sign.
    std::wstring toText() const;

    static bool equals(const FourPartVersion& a, const FourPartVersion& b);
};
