#pragma once
// The verbose Windows Installer log of each patched product:
// "<log folder>\<product name> R2.log".
#include <memory>
#include <string>

#include "platform/file_system.h"

// "<folder>\<product name> R2.log", or with `number` 2 and up
// "<folder>\<product name> R2 (<number>).log". Characters that a file name
// cannot hold become "_"; a name too long for 259 characters is shortened
// (never between the two halves of a surrogate pair). Nothing when the
// folder alone leaves no room for the name.
std::wstring LogFilePath(const std::wstring& logFolder, const std::wstring& productName, unsigned number = 1);

// The log of one configure call: its path (empty when logging is off) and
// the file there, held so that it stays the file that was checked until the
// configure call has returned.
struct ProductLog {
    std::wstring path;
    std::unique_ptr<platform::OpenFile> held;
};

// Sets the log of the next configure call for the product `productName`:
// always a call of MsiEnableLogW, so no earlier product's log stays in force.
// A path this process logged to before is appended to; a file from an earlier
// run is replaced. The file is opened (or created) and looked at through the
// handle that then holds it, a link never followed: a file someone else may
// have placed there (a link, a file with several names, a foreign owner when
// elevated, or one that cannot be looked at) is deleted first, or, when it
// cannot be, the log goes to the next free "(2)", "(3)"... name, created
// exclusively. No path that fits: logging is off for that call.
// The file is made, opened and deleted relative to the held `logFolder`;
// without one (nullptr) logging is off.
ProductLog EnableProductLog(platform::HeldFolder* logFolder, const std::wstring& productName);

// Forgets the paths logged to in this process.
void ForgetProductLogs();
