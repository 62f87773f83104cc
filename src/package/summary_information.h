#pragma once
// What a patch package's summary information says about its targets: the
// product codes (Template) and, by this project's convention, the version
// the patch brings a product to and the versions it applies to (Keywords,
// "upgrade;v1,v2,").
#include <string>

#include "platform/installer.h"

// The error code left as the last error when Keywords has no usable ";".
constexpr std::uint32_t kErrorResourceNotPresent = 4316;

// An open summary handle of the package at `path`, or 0 when the package
// cannot be read. The caller closes a non-zero handle.
platform::InstallerHandle OpenPackageSummary(std::wstring path);

// The readers below leave their outputs untouched on failure, and the reason
// as the thread's last error: the Windows Installer's answer when the package
// cannot be opened or read.

// The Template text.
bool ReadTargetProductCodes(const std::wstring& path, std::wstring& productCodes);

// Keywords split at its first ";". Fails, with last error 4316, when there is
// no ";" or the upgrade version before it is empty.
bool ReadPatchVersions(const std::wstring& path, std::wstring& upgradeVersion, std::wstring& targetVersions);
