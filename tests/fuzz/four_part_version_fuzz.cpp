// Version text, read as four 16-bit parts, and the decimal conversion under
// it compared with the C library's.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "fuzz_input.h"
#include "products/decimal_text.h"
#include "products/four_part_version.h"

namespace {

// What wcstol gives, held to the signed 32-bit range, for text that wcstol
// reads whole up to its first zero.
std::int32_t LibraryValue(const std::wstring& text) {
    const std::wstring upToZero = text.substr(0, text.find(L'\0'));
    const long value = std::wcstol(upToZero.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

bool OnlyAsciiBeforeDigits(const std::wstring& text) {
    // The C library's white space may take in more of Unicode than the
    // program's; only ASCII before the number is compared.
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') return true;
        if (c > 0x7F) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = fuzz::WideFromBytes(data, size);

    if (OnlyAsciiBeforeDigits(text) && text.find(L'\0') == std::wstring::npos) {
        FUZZ_CHECK(DecimalTextToLong(text) == LibraryValue(text));
    }

    const std::wstring original = text;
    FourPartVersion v;
    v.major = v.minor = v.build = v.revision = 7;
    v.parse(text);
    FUZZ_CHECK(text == original);

    // Commas and dots separate alike.
    std::wstring dotted = text;
    std::size_t separators = 0;
    for (wchar_t& c : dotted) {
        if (c == L',') c = L'.';
        if (c == L'.') ++separators;
    }
    FourPartVersion fromDotted;
    fromDotted.parse(dotted);
    FUZZ_CHECK(FourPartVersion::equals(v, fromDotted));

    // A part counts only when a separator follows it (the fourth excepted).
    if (separators < 1) FUZZ_CHECK(v.major == 0);
    if (separators < 2) FUZZ_CHECK(v.minor == 0);
    if (separators < 3) FUZZ_CHECK(v.build == 0 && v.revision == 0);

    // The text form reads back as the same value and stays short.
    const std::wstring shown = v.toText();
    FUZZ_CHECK(shown.size() <= 23);
    for (wchar_t c : shown) FUZZ_CHECK((c >= L'0' && c <= L'9') || c == L'.');
    FourPartVersion again;
    again.parse(shown);
    FUZZ_CHECK(FourPartVersion::equals(v, again));
    FUZZ_CHECK(again.toText() == shown);
    return 0;
}
