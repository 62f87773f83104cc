#include "app/entry_point.h"

#include <cstdint>
#include <string>

#include "app/actions.h"
#include "app/check_outcome.h"
#include "app/command_line.h"
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
                std::to_wstring(error));
        if (firstError == 0 && IsPackageCarried(package.resource)) firstError = error;
    }
    return firstError;
}

}  // namespace

int RunEntryPoint(platform::ModuleHandle instance) {
    ModuleInstance = instance;
    ParseCommandLine();

    // The help, and nothing else: no log, no action.
    if (HelpMode) {
        ShowHelp(kProjectVersion);
        return 0;
    }

    if (DeploymentMode()) {
        OpenRunLog();
        LogLine(std::wstring(L"Version ") + kProjectVersion + L", command line: " + JoinArguments(ProgramArguments));
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
                        L", which reads as another outcome: exit code 1603 stands for it");
            }
        }
    } else {
        if (ExtractMode) exitCode = ExtractBoth();
        if (ReportMode) ShowPackageInformation();
    }

    Targets.clear();
    if (DeploymentMode()) {
        LogLine(L"Exit code " + std::to_wstring(exitCode));
        CloseRunLog();
    }
    // Without the deployment switches the exit code is 0, whatever happened,
    // as callers of the plain command lines have always had it.
    return DeploymentMode() ? static_cast<int>(exitCode) : 0;
}
