#pragma once
// What Windows Installer has registered for a patch on a product.
#include <cstdint>
#include <optional>
#include <string>

// The patch's registered state on the product, as Windows Installer writes it
// ("State": 1 applied, 2 superseded, 4 obsolete, 8 registered but not
// applied), looked for per machine, then per user (managed, then unmanaged).
// Nothing when no context knows the patch on that product (1605, 1608, ...)
// or the value is no number.
std::optional<std::uint32_t> RegisteredPatchState(const std::wstring& patchCode, const std::wstring& productCode);
