#pragma once
// The own log's account of the patch itself: its code, what Windows Installer
// has registered for it on each target before and after the run, and how to
// take it back.
#include <string>

// Reads and logs the patch code of the package at `packagePath`. Empty when
// no log is open or the package names no patch code (that is logged too).
std::wstring LogPatchCode(const std::wstring& resourceName, const std::wstring& packagePath);

// Logs the registered state of the patch on each record of the target list
// when made, and again when it goes (not under "/check"), with the command
// that removes an applied patch. Does nothing without a patch code.
class PatchStateLog {
public:
    explicit PatchStateLog(std::wstring patchCode);
    ~PatchStateLog();
    PatchStateLog(const PatchStateLog&) = delete;
    PatchStateLog& operator=(const PatchStateLog&) = delete;

private:
    void logStates(const wchar_t* when, bool withRemoval) const;
    std::wstring patchCode_;
};
