#include "app/entry_point.h"

#include <cstdint>
#include <string>

#include "app/actions.h"
#include "app/check_outcome.h"
#include "app/command_line.h"
#include "app/pending_restart.h"
#include "app/run_log.h"
#include "app/run_outcome.h"
#include "app/project_version.h"
#include "app/property_arguments.h"
#include "app/switches.h"
#include "package/extraction.h"
#include "package/patch_target.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "platform/window_station.h"
#include "ui/help.h"
#include "ui/message_ids.h"

namespace {

// Writes both packages out as "/e" asks. Returns the system's error code of
// the first carried package that could not be written, else 0; a package the
// executable does not carry is no failure.
std::uint32_t ExtractBoth() {
    // Extraction rewrites the path it is given, so the language pack gets its
    // own copy of the pattern as the user wrote it.
    std::wstring languagePackPath = ExtractPath;
    std::uint32_t firstError = 0;
    const struct {
        std::wstring* path;
        const wchar_t* resource;
        unsigned suffix;
    } packages[] = {{&ExtractPath, kGlobalPackageResource, kSuffixGlobal},
                    {&languagePackPath, kLanguagePackResource, kSuffixLanguagePack}};
    for (const auto& package : packages) {
        if (ExtractPackage(*package.path, package.resource, package.suffix)) {
            LogLine(std::wstring(L"Package ") + package.resource + L" written to " + *package.path);
            continue;
        }
        const std::uint32_t error = platform::Current().thread->lastError();
        LogLine(std::wstring(L"Package ") + package.resource + L" not written to " + *package.path + L": error " +
                    std::to_wstring(error),
                LogSeverity::Failure);
        if (firstError == 0 && IsPackageCarried(package.resource)) firstError = error;
    }
    return firstError;
}

// Where no user can see a box (a window station without WSF_VISIBLE, as a
// service or a deployment agent in session 0 has it), a box would wait for a
// click that never comes: then none is shown, in any mode, and Windows
// Installer runs without its UI. Returns what the own log is to say about
// it; empty when boxes are shown as usual without remark.
std::wstring HideBoxesNobodyCanSee() {
    BoxesHidden = false;
    platform::WindowStation* station = platform::Current().station;
    if (station == nullptr) return std::wstring();
    const platform::StationCheck check = station->check();
    switch (check.visibility) {
        case platform::StationVisibility::Visible:
            return std::wstring();
        case platform::StationVisibility::Invisible:
            BoxesHidden = true;
            QuietMode = true;
            return L"Boxes suppressed: the window station \"" + check.name +
                   L"\" is not visible to a user (no WSF_VISIBLE), so a box would wait for ever; Windows Installer "
                   L"runs without its UI";
        case platform::StationVisibility::Unknown:
            break;
    }
    // Nothing says that a box cannot be seen: they are shown as ever.
    return L"The window station's flags cannot be read (error " + std::to_wstring(check.error) +
           L"): boxes are shown as usual";
}

// Whether the run's exit code tells a failure: anything but an outcome (0,
// 3010, 1641, 1642, and a check's 1).
bool ExitCodeTellsFailure(std::uint32_t code) {
    return code != 0 && code != platform::kSuccessRebootRequired && code != platform::kSuccessRebootInitiated &&
           code != platform::kErrorPatchTargetNotFound && !(CheckSwitch && code == kCheckWouldApply);
}

}  // namespace

int RunEntryPoint(platform::ModuleHandle instance) {
    ModuleInstance = instance;
    ParseCommandLine();
    const std::wstring station = HideBoxesNobodyCanSee();

    // The help, and nothing else: no log, no action.
    if (HelpMode) {
        if (!BoxesHidden) ShowHelp(kProjectVersion);
        return 0;
    }

    if (DeploymentMode()) {
        OpenRunLog();
        // Property values stay out of the log: a value may be a password.
        LogLine(std::wstring(L"Version ") + kProjectVersion + L", command line: " +
                JoinArguments(LoggedArguments(ProgramArguments)));
        if (!station.empty()) LogLine(station, LogSeverity::Warning);
    }

    std::uint32_t exitCode = 0;
    if (InstallMode) {
        // A property that is refused ends the run before any package is touched.
        if (!AcceptPropertyArguments()) {
            exitCode = platform::kErrorInvalidParameter;
        } else {
            const RunRecord record = RunPatches();
            exitCode = CheckSwitch ? CheckExitCodeFor(record) : ExitCodeFor(record);
            const std::uint32_t failure = FirstFailureCode(record);
            if (exitCode == platform::kErrorInstallFailure && failure != exitCode) {
                LogLine(L"The first failure came with code " + std::to_wstring(failure) +
                            L", which reads as another outcome: exit code 1603 stands for it",
                        LogSeverity::Failure);
            }
            LogRestartStillNeeded(record, exitCode);
        }
    } else {
        if (ExtractMode) exitCode = ExtractBoth();
        // The report is nothing but its box; one that cannot be shown leaves
        // the exit code as it is (that of "/e" when given), and the log says so.
        if (ReportMode && !BoxesHidden && !ShowPackageInformation()) {
            LogLine(L"The report box could not be shown: error " +
                    std::to_wstring(platform::Current().thread->lastError()) + L"; the user was not told");
        }
    }

    Targets.clear();
    if (DeploymentMode()) {
        LogLine(L"Exit code " + std::to_wstring(exitCode),
                ExitCodeTellsFailure(exitCode) ? LogSeverity::Failure : LogSeverity::Information);
        CloseRunLog();
    }
    // Without the deployment switches the exit code is 0, whatever happened,
    // as callers of the plain command lines have always had it.
    return DeploymentMode() ? static_cast<int>(exitCode) : 0;
}
