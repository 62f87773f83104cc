// Filling a message's one placeholder within a bounded buffer. The first two
// bytes give the capacity; then lines: pattern, value, and optionally the
// placeholder (else "%s"). The last four bytes also make an error code.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_input.h"
#include "ui/message_format.h"

namespace {

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    if (size >= 4) {
        std::uint32_t code;
        std::memcpy(&code, data + size - 4, 4);
        FUZZ_CHECK(SignedDecimal(code) == std::to_wstring(static_cast<std::int32_t>(code)));
    }
    const std::size_t capacity = (data[0] | (data[1] << 8)) % 1100;
    const std::vector<std::wstring> lines = fuzz::Lines(data + 2, size - 2);
    const std::wstring& pattern = lines[0];
    const std::wstring value = lines.size() > 1 ? lines[1] : L"";
    const std::wstring placeholder = lines.size() > 2 ? lines[2] : L"%s";

    const std::wstring result = FillPlaceholder(pattern, placeholder, value, capacity);
    const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    FUZZ_CHECK(result.size() <= limit);

    const std::size_t at = placeholder.empty() ? std::wstring::npos : pattern.find(placeholder);
    if (at == std::wstring::npos) {
        // Nothing to fill: the pattern as it stands, cut only when it alone is too long.
        FUZZ_CHECK(StartsWith(pattern, result));
        if (pattern.size() <= limit) FUZZ_CHECK(result == pattern);
        return 0;
    }
    const std::wstring before = pattern.substr(0, at);
    const std::wstring after = pattern.substr(at + placeholder.size());
    if (before.size() + value.size() + after.size() <= limit) {
        FUZZ_CHECK(result == before + value + after);
        return 0;
    }
    if (before.size() + after.size() < limit) {
        // The value is cut, the text around it kept whole; "…" marks the cut,
        // and no surrogate pair is split in front of it.
        FUZZ_CHECK(StartsWith(result, before) && EndsWith(result, after));
        const std::wstring kept = result.substr(before.size(), result.size() - before.size() - after.size());
        FUZZ_CHECK(!kept.empty() && kept.back() == L'\u2026');
        const std::wstring prefix = kept.substr(0, kept.size() - 1);
        FUZZ_CHECK(StartsWith(value, prefix));
        FUZZ_CHECK(prefix.empty() || !IsHighSurrogate(prefix.back()));
    } else {
        // No room for the value at all: what is shown is a start of the text without it.
        FUZZ_CHECK(StartsWith(before + after, result));
    }
    return 0;
}
