#pragma once
#include <cstdint>
#include <string>

// Reads a number the way the C library's decimal text-to-long conversion
// does: leading white space skipped, an optional sign, digits up to the first
// non-digit, 0 when there are none. Saturates at the signed 32-bit bounds on
// every build, whatever the width of `long`.
std::int32_t DecimalTextToLong(const std::wstring& text);
