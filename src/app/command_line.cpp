#include "app/command_line.h"

#include <new>

#include "app/property_arguments.h"
#include "app/switches.h"
#include "platform/process_arguments.h"
#include "platform/services.h"

namespace {

// Case-insensitive comparison of a whole argument with a switch written in
// lower-case ASCII. Only ASCII letters fold; the user's locale plays no part.
bool IsSwitch(const std::wstring& argument, const wchar_t* lowerSwitch) {
    std::size_t i = 0;
    for (; lowerSwitch[i] != L'\0'; ++i) {
        if (i >= argument.size()) return false;
        wchar_t c = argument[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != lowerSwitch[i]) return false;
    }
    return i == argument.size();
}

}  // namespace

void ScanArguments(const std::vector<std::wstring>& arguments) {
    QuietMode = false;
    ExtractMode = false;
    ExtractPath.clear();
    InstallMode = true;
    QuietSwitch = false;
    PassiveSwitch = false;
    NoRestartSwitch = false;
    LogSwitch = false;
    LogPath.clear();
    HelpMode = false;
    CheckSwitch = false;
    CmtraceSwitch = false;
    PropertyArguments.clear();

    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (IsSwitch(argument, L"/q")) {
            QuietMode = true;
        } else if (IsSwitch(argument, L"/e")) {
            InstallMode = false;
            ExtractMode = true;
            if (i + 1 < arguments.size()) {
                ExtractPath = arguments[i + 1];  // taken unchanged, even when it looks like a switch
                ++i;
            }
        } else if (IsSwitch(argument, L"/quiet")) {
            QuietSwitch = true;
            QuietMode = true;
        } else if (IsSwitch(argument, L"/passive")) {
            PassiveSwitch = true;
            QuietMode = true;
        } else if (IsSwitch(argument, L"/norestart")) {
            NoRestartSwitch = true;
        } else if (IsSwitch(argument, L"/log")) {
            // Like "/e": the next argument is the path, whatever it looks like.
            LogSwitch = true;
            if (i + 1 < arguments.size()) {
                LogPath = arguments[i + 1];
                ++i;
            }
        } else if (IsSwitch(argument, L"/check")) {
            // A run that only tells what it would do: nothing to show either.
            CheckSwitch = true;
            QuietMode = true;
        } else if (IsSwitch(argument, L"/cmtrace")) {
            // The log's format only: it hides no box by itself.
            CmtraceSwitch = true;
        } else if (IsSwitch(argument, L"/?") || IsSwitch(argument, L"/help")) {
            HelpMode = true;
        } else if (IsSwitch(argument, L"/i")) {
            InstallMode = false;
            ReportMode = true;
            return;
        } else if (IsSwitch(argument, L"/pi")) {
            InstallMode = false;
            ReportMode = false;
            return;
        } else if (IsPropertyArgument(argument)) {
            PropertyArguments.push_back(argument);
        }
    }
}

bool ParseCommandLine() {
    // Out of memory anywhere here ends the scan where it is: the switches
    // seen so far stay in force, and the program goes on.
    try {
        std::vector<std::wstring> arguments;
        if (!platform::Current().arguments->read(arguments)) {
            // Nothing to scan: the values at start stand, and the patch run runs.
            return true;
        }
        ScanArguments(arguments);
        // Kept for the own log, after the scan, so that memory running out
        // here costs no switch.
        ProgramArguments = std::move(arguments);
    } catch (const std::bad_alloc&) {
    }
    return true;
}
