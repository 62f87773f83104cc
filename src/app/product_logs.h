#pragma once
// The verbose Windows Installer log of each patched product:
// "<log folder>\<product name> R2.log".
#include <string>

// "<folder>\<product name> R2.log", or with `number` 2 and up
// "<folder>\<product name> R2 (<number>).log". Characters that a file name
// cannot hold become "_"; a name too long for 259 characters is shortened
// (never between the two halves of a surrogate pair). Nothing when the
// folder alone leaves no room for the name.
std::wstring LogFilePath(const std::wstring& logFolder, const std::wstring& productName, unsigned number = 1);

// Sets the log of the next configure call for the product `productName`:
// always a call of MsiEnableLogW, so no earlier product's log stays in force.
// A path this process logged to before is appended to; a file from an earlier
// run is replaced. A file someone else may have placed there (a link, a file
// with several names, a foreign owner when elevated) is deleted first, or,
// when it cannot be, the log goes to the next free "(2)", "(3)"... name,
// created exclusively. No path that fits: logging is off for that call.
// Returns the path logged to; empty when logging is off.
std::wstring EnableProductLog(const std::wstring& logFolder, const std::wstring& productName);

// Forgets the paths logged to in this process.
void ForgetProductLogs();
