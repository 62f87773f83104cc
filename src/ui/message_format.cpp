#include "ui/message_format.h"

namespace {

constexpr wchar_t kEllipsis = L'\u2026';

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// The first `count` characters of `text`, one fewer when that would leave
// the first half of a surrogate pair at the end.
std::wstring Prefix(const std::wstring& text, std::size_t count) {
    if (count >= text.size()) return text;
    if (count > 0 && IsHighSurrogate(text[count - 1])) --count;
    return text.substr(0, count);
}

// `value` in at most `room` characters, with "…" in place of what is cut.
std::wstring Shortened(const std::wstring& value, std::size_t room) {
    if (value.size() <= room) return value;
    if (room == 0) return std::wstring();
    return Prefix(value, room - 1) + kEllipsis;
}

}  // namespace

std::wstring FillPlaceholder(const std::wstring& pattern, const std::wstring& placeholder,
                             const std::wstring& value, std::size_t capacity) {
    const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
    const std::size_t at = placeholder.empty() ? std::wstring::npos : pattern.find(placeholder);
    if (at == std::wstring::npos) return Prefix(pattern, limit);

    const std::size_t surrounding = pattern.size() - placeholder.size();
    const std::size_t room = surrounding < limit ? limit - surrounding : 0;
    std::wstring result = pattern.substr(0, at);
    result += Shortened(value, room);
    result.append(pattern, at + placeholder.size(), std::wstring::npos);
    // Only a pattern that alone exceeds the limit still needs cutting here.
    return Prefix(result, limit);
}

std::wstring SignedDecimal(std::uint32_t code) {
    const std::int64_t value = static_cast<std::int32_t>(code);
    std::uint64_t magnitude = value < 0 ? static_cast<std::uint64_t>(-value) : static_cast<std::uint64_t>(value);
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return value < 0 ? L"-" + digits : digits;
}
