#include "app/patch_run.h"

#include <algorithm>

#include "app/actions.h"
#include "app/patch_info.h"
#include "app/pending_restart.h"
#include "app/product_logs.h"
#include "app/property_arguments.h"
#include "app/run_log.h"
#include "app/run_outcome.h"
#include "app/switches.h"
#include "package/extraction.h"
#include "package/held_package.h"
#include "package/summary_information.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/installer.h"
#include "platform/error_codes.h"
#include "platform/existing_files.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "products/decimal_text.h"
#include "products/installed_products.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

constexpr std::uint32_t kLocaleUserDefault = 0x0400;      // LOCALE_USER_DEFAULT

// Waiting out another installation: the first wait, the longest, and all of them together.
constexpr std::uint32_t kFirstRetryWaitMs = 5 * 1000;
constexpr std::uint32_t kLongestRetryWaitMs = 60 * 1000;
constexpr std::uint32_t kRetryBudgetMs = 10 * 60 * 1000;

bool IsSuccess(std::uint32_t result) {
    return result == 0 || result == platform::kSuccessRebootInitiated || result == platform::kSuccessRebootRequired;
}

// The Windows Installer's UI during a configure call: none under "/quiet" or
// where no user can see it (its error dialogs would wait there for ever),
// progress only under "/passive", else basic progress without Cancel.
int ConfigureUiLevel() {
    if (QuietSwitch || BoxesHidden) return platform::kUiLevelNone;
    if (PassiveSwitch) return platform::kUiLevelProgressOnly;
    return platform::kUiLevelBasicHideCancel;
}

// One configure call with the UI level of this run, restored afterwards;
// logged with its result and how long it took.
std::uint32_t Configure(const PatchTarget& target) {
    platform::Installer& installer = *platform::Current().installer;
    platform::Clock* clock = platform::Current().clock;
    const std::uint32_t start = clock != nullptr ? clock->tickMilliseconds() : 0;
    const int previousUiLevel = installer.setInternalUI(ConfigureUiLevel());
    const std::uint32_t result = installer.configureProductEx(target.productCode, platform::kInstallLevelDefault,
                                                              platform::kInstallStateDefault, target.commandLine);
    installer.setInternalUI(previousUiLevel);
    if (RunLogOpen()) {
        const std::uint32_t elapsed = clock != nullptr ? clock->tickMilliseconds() - start : 0;
        // Another installation in progress is waited out under the deployment switches.
        const LogSeverity severity = IsSuccess(result) ? LogSeverity::Information
                                     : result == platform::kErrorInstallAlreadyRunning && DeploymentMode()
                                         ? LogSeverity::Warning
                                         : LogSeverity::Failure;
        LogLine(L"Configure call for " + target.productCode + L" returned " + std::to_wstring(result) + L" after " +
                    std::to_wstring(elapsed / 1000) + L"." + std::to_wstring(elapsed % 1000 / 100) + L" s",
                severity);
    }
    return result;
}

// Shows message `failureMessageId` with the thread's last error, and records
// that error as the failure's code.
void ShowFailure(unsigned failureMessageId, RunRecord& record, const wchar_t* what) {
    const std::uint32_t code = platform::Current().thread->lastError();
    record.note(RunEvent::Failure, code);
    LogLine(std::wstring(what) + L": error " + std::to_wstring(code), LogSeverity::Failure);
    platform::Current().thread->setLastError(code);  // as the message reads it
    TellUser(failureMessageId, record);
}

// The same for a failure of package `resourceName` with its own `code`.
PackageOutcome ShowFailureCode(unsigned failureMessageId, RunRecord& record, std::uint32_t code, const wchar_t* what,
                               const std::wstring& resourceName) {
    platform::Current().thread->setLastError(code);
    ShowFailure(failureMessageId, record, (L"Package " + resourceName + L": " + what).c_str());
    return PackageOutcome::Failed;
}

const wchar_t* DecisionText(TargetDecision decision) {
    switch (decision) {
        case TargetDecision::AlreadyPatched:
            return L"already at the upgrade version: nothing to do";
        case TargetDecision::Apply:
            return L"its version is one the package applies to: applying the patch";
        case TargetDecision::EndUpToDate:
            return L"the package's version list reaches the upgrade version first: the package is not needed";
        case TargetDecision::NotDesigned:
            return L"its version is not one the package applies to";
    }
    return L"";
}

// Applies the patch to one target; the outcome becomes Applied on success,
// and a failure is shown with the Windows Installer's error code.
void ApplyPatch(PatchTarget& target, const std::wstring& packagePath, platform::HeldFolder* logFolder,
                unsigned failureMessageId, PackageOutcome& outcome, RunRecord& record) {
    // Every product its own log, held until its last configure call has
    // returned; the patch is applied even without one.
    const ProductLog log = EnableProductLog(logFolder, target.productName);
    const std::wstring& logPath = log.path;

    // In the language of the thread locale set for this target. The package
    // path (at most 259 characters), this text (at most 255) and the
    // properties given (refused up front when they would not fit) always fit
    // the installer's command line together.
    std::wstring filesInUse;
    LoadMessageText(ModuleInstance, kMsgFilesInUse, filesInUse, kMessageTextCapacity);
    target.commandLine = L"PATCH=\"" + packagePath + L"\" REBOOTPROMPT=S FILESINUSETEXT=\"" + filesInUse + L"\"";
    // The installer then never restarts the computer; a restart it needs
    // comes back as 3010.
    if (NoRestartSwitch) target.commandLine += L" REBOOT=ReallySuppress";
    // The own log names the properties given, not their values.
    const std::wstring logged = target.commandLine + LoggedPassedProperties();
    target.commandLine += PassedPropertiesCommandLine();

    LogLine(L"Configuring " + target.productCode + L" with \"" + logged + L"\", installer log " +
            (logPath.empty() ? std::wstring(L"(none)") : logPath));
    std::uint32_t result = Configure(target);
    // Under the deployment switches another installation in progress is
    // waited out rather than reported at once, for ten minutes in the whole run.
    for (std::uint32_t wait = kFirstRetryWaitMs; DeploymentMode() && result == platform::kErrorInstallAlreadyRunning &&
                                                 record.waitedMs < kRetryBudgetMs;
         wait = std::min(wait * 2, kLongestRetryWaitMs)) {
        const std::uint32_t thisWait = std::min(wait, kRetryBudgetMs - record.waitedMs);
        LogLine(L"Another installation is in progress (1618): waiting " + std::to_wstring(thisWait / 1000) +
                    L" s before trying again",
                LogSeverity::Warning);
        platform::Current().clock->sleep(thisWait);
        record.waitedMs += thisWait;
        result = Configure(target);
    }

    record.note(EventOfConfigureResult(result), result);
    if (IsSuccess(result)) {
        outcome = PackageOutcome::Applied;
    } else {
        platform::Current().thread->setLastError(result);
        TellUser(failureMessageId, record);
    }
}

}  // namespace

void TellUser(unsigned id, RunRecord& record) {
    if (ShowMessage(id)) return;
    const std::uint32_t error = platform::Current().thread->lastError();
    record.note(RunEvent::MessageNotShown, error, id);
    LogLine(L"Message " + std::to_wstring(id) + L" could not be shown: error " + std::to_wstring(error) +
            L"; the user was not told");
}

TargetDecision DecideTarget(const FourPartVersion& installed, const FourPartVersion& upgrade,
                            const std::wstring& targetVersions) {
    if (FourPartVersion::equals(installed, upgrade)) return TargetDecision::AlreadyPatched;
    std::size_t start = 0;
    for (std::size_t comma = targetVersions.find(L','); comma != std::wstring::npos;
         start = comma + 1, comma = targetVersions.find(L',', start)) {
        FourPartVersion entry;
        entry.parse(targetVersions.substr(start, comma - start));
        if (FourPartVersion::equals(installed, entry)) return TargetDecision::Apply;
        if (FourPartVersion::equals(entry, upgrade)) return TargetDecision::EndUpToDate;
    }
    return TargetDecision::NotDesigned;
}

void SelectTargets(PatchTarget& prototype, const std::wstring& productCodes) {
    // The prototype's productCode holds the part of the list not visited yet.
    prototype.productCode = productCodes + L";";
    for (std::size_t semicolon = prototype.productCode.find(L';'); semicolon != std::wstring::npos && semicolon > 0;
         semicolon = prototype.productCode.find(L';')) {
        PatchTarget candidate = prototype;
        candidate.productCode = prototype.productCode.substr(0, semicolon);
        if (IsProductInstalled(candidate.productCode)) {
            candidate.installedVersion = GetInstalledVersionString(candidate.productCode);
            GetProductNameAndLanguage(candidate.productCode, candidate.productName, candidate.language);
            Targets.append(std::move(candidate));
        }
        prototype.productCode.erase(0, semicolon + 1);
    }
}

PackageOutcome RunPatchPackage(const WorkingFolder& workingFolder, const std::wstring& resourceName,
                               unsigned failureMessageId, bool recordProductName, RunRecord* runRecord) {
    const platform::Services& services = platform::Current();
    RunRecord unused;
    RunRecord& record = runRecord != nullptr ? *runRecord : unused;

    // A package the executable does not carry has nothing to install: no
    // message, and the final message follows the other package.
    if (!IsPackageCarried(resourceName)) {
        LogLine(L"Package " + resourceName + L": not carried");
        record.note(RunEvent::UpToDate);
        return PackageOutcome::UpToDate;
    }

    // A package that is carried but cannot be written out, or reads back as
    // something else, is a failure, shown with the system's reason.
    std::uint32_t error = 0;
    const std::unique_ptr<HeldPackage> package = HeldPackage::Write(workingFolder.folder(), resourceName, error);
    if (!package) {
        return ShowFailureCode(failureMessageId, record, error,
                               error == kErrorPackageChanged ? L"The written file is not the carried package"
                               : error == platform::kErrorIdentityUnknown
                                   ? L"The written file cannot be shown to be the one in the working folder "
                                     L"(the system gives no final path for it)"
                                   : L"The package cannot be written out",
                               resourceName);
    }
    LogLine(L"Package " + resourceName + L" written to " + package->path() +
            L", held and compared with the carried package");

    Targets.clear();
    PatchTarget prototype;
    if (!ReadPatchVersions(package->path(), prototype.upgradeVersion, prototype.targetVersions)) {
        ShowFailure(failureMessageId, record, (L"Package " + resourceName + L": Keywords cannot be read").c_str());
        return PackageOutcome::Failed;
    }
    std::wstring productCodes;
    if (!ReadTargetProductCodes(package->path(), productCodes)) {
        ShowFailure(failureMessageId, record, (L"Package " + resourceName + L": Template cannot be read").c_str());
        return PackageOutcome::Failed;
    }
    if (RunLogOpen()) {
        const auto bytes = services.resources->find(ModuleInstance, kPackageResourceType, resourceName);
        LogLine(L"Package " + resourceName + L": " + std::to_wstring(bytes ? bytes->size : 0) + L" bytes, Template \"" +
                productCodes + L"\", Keywords \"" + prototype.upgradeVersion + L";" + prototype.targetVersions +
                L"\"");
    }
    const std::wstring patchCode = LogPatchCode(resourceName, package->path());

    SelectTargets(prototype, productCodes);
    if (Targets.count() == 0) {
        LogLine(L"Package " + resourceName + L": no product it targets is installed");
        record.note(RunEvent::ProductNotFound);
        TellUser(kMsgProductNotFound, record);
        return PackageOutcome::Failed;
    }

    for (std::size_t position = 0; position < Targets.count() && RunLogOpen(); ++position) {
        const PatchTarget& target = Targets.at(position);
        LogLine(L"Target " + target.productCode + L": \"" + target.productName + L"\", language " + target.language +
                L", installed version " + target.installedVersion);
    }
    const PatchStateLog patchStates(patchCode);

    // The folder of the installer's logs, held until the last configure call
    // has returned; a check writes none, and makes no folder for them.
    std::wstring logFolderNote;
    const std::unique_ptr<platform::HeldFolder> logFolder = CheckSwitch ? nullptr : HoldProductLogFolder(logFolderNote);
    if (!logFolderNote.empty()) LogLine(L"Windows Installer logs: " + logFolderNote, LogSeverity::Warning);
    std::size_t upToDate = 0;
    PackageOutcome outcome = PackageOutcome::Failed;
    for (std::size_t position = 0; position < Targets.count(); ++position) {
        PatchTarget& target = Targets.at(position);
        if (recordProductName) DisplayedProductName = target.productName;
        // The product's language steers every message of its handling.
        services.thread->setThreadLocale(static_cast<std::uint32_t>(DecimalTextToLong(target.language)));

        FourPartVersion installed, upgrade;
        installed.parse(target.installedVersion);
        upgrade.parse(target.upgradeVersion);
        const TargetDecision decision = DecideTarget(installed, upgrade, target.targetVersions);
        LogLine(L"Target " + target.productCode + L" at " + target.installedVersion + L" (upgrade " +
                target.upgradeVersion + L", applies to \"" + target.targetVersions + L"\"): " + DecisionText(decision));
        switch (decision) {
            case TargetDecision::AlreadyPatched:
                record.note(RunEvent::UpToDate);
                ++upToDate;
                break;
            case TargetDecision::Apply:
                if (CheckSwitch) {
                    // Only the decision: the run goes on as after a successful configure call.
                    LogLine(L"Check only: no configure call for " + target.productCode);
                    record.note(RunEvent::Applied);
                    outcome = PackageOutcome::Applied;
                    break;
                }
                ApplyPatch(target, package->path(), logFolder.get(), failureMessageId, outcome, record);
                break;
            case TargetDecision::EndUpToDate:
                // Targets after this one are not handled; the locale stays.
                // A product patched before is still reported as such.
                record.note(RunEvent::UpToDate);
                return outcome == PackageOutcome::Applied ? PackageOutcome::Applied : PackageOutcome::UpToDate;
            case TargetDecision::NotDesigned:
                record.note(RunEvent::WrongVersion);
                TellUser(kMsgWrongVersion, record);
                break;
        }
    }

    if (upToDate == Targets.count()) {
        services.thread->setThreadLocale(kLocaleUserDefault);
        outcome = PackageOutcome::UpToDate;
    }
    return outcome;
}

RunRecord RunPatches() {
    RunRecord record;
    LogPendingRestart();
    // An executable that carries no package at all is broken: say so rather
    // than report an update that did not happen.
    const bool globalCarried = IsPackageCarried(kGlobalPackageResource);
    if (!globalCarried && !IsPackageCarried(kLanguagePackResource)) {
        platform::Current().thread->setLastError(platform::kErrorResourceNameNotFound);
        ShowFailure(kMsgFailureWithCode, record, L"The program carries no package");
        return record;
    }

    // One folder of the run's own for the package files of both packages.
    std::uint32_t error = 0;
    const std::unique_ptr<WorkingFolder> folder = WorkingFolder::Create(error);
    if (!folder) {
        platform::Current().thread->setLastError(error);
        ShowFailure(kMsgFailureWithCode, record, L"No working folder for the packages");
        return record;
    }
    LogLine(L"Working folder " + folder->path());

    const PackageOutcome first = RunPatchPackage(*folder, kGlobalPackageResource, kMsgFailureWithCode, true, &record);
    if (first == PackageOutcome::Failed) return record;
    const std::size_t languagePackEvents = record.entries.size();
    // The boxes name the global package's product; an installer that carries
    // only a language pack names the language pack's.
    const PackageOutcome second =
        RunPatchPackage(*folder, kLanguagePackResource, kMsgFailureWithCode, !globalCarried, &record);
    // A language pack none of whose products is installed, after a global
    // package that patched or found its products up to date, is the normal
    // case of a computer without that language: the run exits as the global
    // package alone would have. Its 307 box stays.
    if (globalCarried) {
        for (std::size_t i = languagePackEvents; i < record.entries.size(); ++i) {
            if (record.entries[i].event != RunEvent::ProductNotFound) continue;
            record.entries[i].event = RunEvent::LanguagePackNotInstalled;
            LogLine(std::wstring(L"Package ") + kLanguagePackResource +
                    L": its products are not installed; the global package did its work, so this is no "
                    L"\"nothing applicable\" for the exit code");
        }
    }

    // Final message, in the locale the last package run left; a check
    // installed nothing to tell of, and a run in which a configure call
    // failed (box 300 shown) must not end with a box of success.
    const bool failed = std::any_of(record.entries.begin(), record.entries.end(),
                                    [](const RunRecord::Entry& entry) { return entry.event == RunEvent::Failure; });
    if (second == PackageOutcome::Failed || CheckSwitch || failed) return record;
    if (second == PackageOutcome::Applied || first == PackageOutcome::Applied) {
        TellUser(kMsgUpdated, record);
    } else {
        TellUser(kMsgUpToDate, record);
    }
    return record;
}
