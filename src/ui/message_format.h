#pragma once
// Filling a catalogue text's one placeholder, bounded.
//
// Catalogue texts and product names are data, never a printf format: only the
// one placeholder that a message is known to hold ("%s" or "%d") is replaced,
// and every other character, a stray '%' included, is copied as it stands.
#include <cstddef>
#include <cstdint>
#include <string>

// The result of replacing the first `placeholder` in `pattern` with `value`;
// `pattern` unchanged when the placeholder is empty or absent. The result has
// at most `capacity` - 1 characters (the last unit of `capacity` is the
// terminator's). When `value` does not fit, it is cut so that the text around
// it stays whole, and its last kept character becomes "…" to show the cut; a
// surrogate pair is never split.
std::wstring FillPlaceholder(const std::wstring& pattern, const std::wstring& placeholder,
                             const std::wstring& value, std::size_t capacity);

// `code` as a signed 32-bit decimal number: 0xFFFFFFFF gives "-1".
std::wstring SignedDecimal(std::uint32_t code);
