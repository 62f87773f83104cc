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
    bool made = false;  // made new for this call
};

// Holds the folder of the installer's logs for a patch run (see
// platform::HeldFolder): under "/log" the folder of the own log; else the
// temporary folder, elevated only where it is shown to be the user's
// (platform::HoldUserTempFolder), not elevated made when missing. A folder
// that cannot be held free of links gives way to the system's temporary
// folder, and `note` says so for the own log.
std::unique_ptr<platform::HeldFolder> HoldProductLogFolder(std::wstring& note);

// Sets the log of the next configure call for the product `productName`:
// always a call of MsiEnableLogW, so no earlier product's log stays in force.
// A path this process logged to before is appended to. The file is opened
// (or created) and looked at through the handle that then holds it, a link
// never followed. Elevated, a log an earlier elevated run made (see
// platform::ExistingFile::ownerAdministrative) is replaced; anything else at
// the name (the user's file or someone else's, a link, a folder) is left as
// it is and the log goes to the next free "(2)", "(3)"... name, created
// exclusively. Not elevated, a
// file from an earlier run is replaced, and one someone else may have placed
// (a link, a file with several names, or one that cannot be looked at) is
// deleted first, or, when it cannot be, passed over so. Once the file is
// made and held, the folder is shown free of links again (it is not empty
// now, so nothing can turn it into a mount point); where it is not, the file
// made goes again and logging is off for that call, as it is when no path
// fits. The file is made, opened and deleted relative to the held
// `logFolder`; without one (nullptr) logging is off.
ProductLog EnableProductLog(platform::HeldFolder* logFolder, const std::wstring& productName);

// Forgets the paths logged to in this process.
void ForgetProductLogs();
