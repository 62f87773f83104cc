#pragma once
// Turning fuzz bytes into the wide texts the program works with, and the
// check that ends a run when a property does not hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

// UTF-16 code units, one per wchar_t, the way the program sees text on
// Windows. Valid UTF-8 sequences become their characters (a surrogate pair
// above U+FFFF); a three-byte sequence may also encode a lone surrogate, so
// that every code unit can be reached. A byte that starts no valid sequence
// becomes U+DC00 + byte. Seeds stay readable text.
inline std::wstring WideFromBytes(const std::uint8_t* data, std::size_t size) {
    std::wstring out;
    std::size_t i = 0;
    auto continuation = [&](std::size_t at) { return at < size && (data[at] & 0xC0) == 0x80; };
    while (i < size) {
        const std::uint8_t b = data[i];
        std::uint32_t cp = 0;
        std::size_t length = 0;
        if (b < 0x80) {
            cp = b;
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF && continuation(i + 1)) {
            cp = ((b & 0x1Fu) << 6) | (data[i + 1] & 0x3Fu);
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
            cp = ((b & 0x0Fu) << 12) | ((data[i + 1] & 0x3Fu) << 6) | (data[i + 2] & 0x3Fu);
            if (cp >= 0x800) length = 3;
        } else if (b >= 0xF0 && b <= 0xF4 && continuation(i + 1) && continuation(i + 2) && continuation(i + 3)) {
            cp = ((b & 0x07u) << 18) | ((data[i + 1] & 0x3Fu) << 12) | ((data[i + 2] & 0x3Fu) << 6) |
                 (data[i + 3] & 0x3Fu);
            if (cp >= 0x10000 && cp <= 0x10FFFF) length = 4;
        }
        if (length == 0) {
            out.push_back(static_cast<wchar_t>(0xDC00 + b));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
        i += length;
    }
    return out;
}

// The input cut at each line feed into texts (an input without one is one text).
inline std::vector<std::wstring> Lines(const std::uint8_t* data, std::size_t size) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || data[i] == '\n') {
            lines.push_back(WideFromBytes(data + start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

inline std::string Printable(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

}  // namespace fuzz

// Ends the run (and so makes libFuzzer keep the input) when `condition` is false.
#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::Fail(__FILE__, __LINE__, #condition))
