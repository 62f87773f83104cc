#pragma once
// What a patch package's summary information says about its targets: the
// product codes (Template) and, by this project's convention, the version
// the patch brings a product to and the versions it applies to (Keywords,
// "upgrade;v1,v2,").
#include <string>

#include "platform/installer.h"

// The readers below leave their outputs untouched on failure, and the reason
// as the thread's last error: the Windows Installer's answer when the package
// cannot be opened or read.

// The Template text.
bool ReadTargetProductCodes(const std::wstring& path, std::wstring& productCodes);

// Keywords split at its first ";". Fails, with last error 4316
// (platform::kErrorResourceNotPresent), when there is
// no ";" or the upgrade version before it is empty.
bool ReadPatchVersions(const std::wstring& path, std::wstring& upgradeVersion, std::wstring& targetVersions);

// The patch code: the GUID in braces that begins the Revision Number (a
// patch's own code, then the codes of the patches it replaces). Fails, with
// last error 4316, when the text does not begin with one.
bool ReadPatchCode(const std::wstring& path, std::wstring& patchCode);

// True when `text` is a GUID in braces: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
// of hexadecimal digits.
bool IsGuidText(const std::wstring& text);
