#include "products/four_part_version.h"

#include "products/decimal_text.h"

namespace {

std::uint16_t LowBits(const std::wstring& part) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(DecimalTextToLong(part)) & 0xFFFFu);
}

}  // namespace

void FourPartVersion::clear() { set(0, 0, 0, 0); }

void FourPartVersion::set(std::uint16_t newMajor, std::uint16_t newMinor, std::uint16_t newBuild,
                          std::uint16_t newRevision) {
    major = newMajor;
    minor = newMinor;
    build = newBuild;
    revision = newRevision;
}

void FourPartVersion::parse(std::wstring text) {
    clear();
    for (wchar_t& c : text) {
        if (c == L',') c = L'.';
    }
    std::uint16_t* const leading[] = {&major, &minor, &build};
    std::size_t start = 0;
    for (std::uint16_t* field : leading) {
        const std::size_t dot = text.find(L'.', start);
        if (dot == std::wstring::npos) return;
        *field = LowBits(text.substr(start, dot - start));
        start = dot + 1;
    }
    revision = LowBits(text.substr(start));
}

std::wstring FourPartVersion::toText() const {
    return std::to_wstring(major) + L'.' + std::to_wstring(minor) + L'.' + std::to_wstring(build) + L'.' +
           std::to_wstring(revision);
}

bool FourPartVersion::equals(const FourPartVersion& a, const FourPartVersion& b) {
    return a.revision == b.revision && a.build == b.build && a.minor == b.minor && a.major == b.major;
}
