#pragma once
// What Windows Installer has registered for a patch on a product.
#include <cstdint>
#include <optional>
#include <string>

// The number Windows Installer has registered for the patch on the product
// under `property`, looked for per machine, then per user (managed, then
// unmanaged). Nothing when no context knows the patch on that product (1605,
// 1608, ...) or the value is no number. Properties: "State" (1 applied,
// 2 superseded, 4 obsolete, 8 registered but not applied) and "Uninstallable"
// (1 when the patch can be removed on its own).
std::optional<std::uint32_t> RegisteredPatchNumber(const std::wstring& patchCode, const std::wstring& productCode,
                                                   const wchar_t* property);
