#include "app/patch_run.h"

#include "app/actions.h"
#include "app/product_logs.h"
#include "app/switches.h"
#include "package/extraction.h"
#include "package/summary_information.h"
#include "platform/file_system.h"
#include "platform/installer.h"
#include "platform/error_codes.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "products/decimal_text.h"
#include "products/installed_products.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

constexpr std::size_t kLogFolderCapacity = 260;
constexpr std::uint32_t kLocaleUserDefault = 0x0400;      // LOCALE_USER_DEFAULT
constexpr std::uint32_t kRebootInitiated = 1641;          // ERROR_SUCCESS_REBOOT_INITIATED
constexpr std::uint32_t kRebootRequired = 3010;           // ERROR_SUCCESS_REBOOT_REQUIRED

// The extracted package file, deleted when the package run ends, on every path.
class ExtractedPackage {
public:
    explicit ExtractedPackage(std::wstring path) : path_(std::move(path)) {}
    ~ExtractedPackage() { platform::Current().files->deleteFile(path_); }
    ExtractedPackage(const ExtractedPackage&) = delete;
    ExtractedPackage& operator=(const ExtractedPackage&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

bool IsSuccess(std::uint32_t result) { return result == 0 || result == kRebootInitiated || result == kRebootRequired; }

// Applies the patch to one target; the outcome becomes Applied on success,
// and a failure is shown with the Windows Installer's error code.
void ApplyPatch(PatchTarget& target, const std::wstring& packagePath, const std::wstring& logFolder,
                unsigned failureMessageId, PackageOutcome& outcome) {
    platform::Installer& installer = *platform::Current().installer;

    // Every product its own log; the patch is applied even without one.
    EnableProductLog(logFolder, target.productName);

    // In the language of the thread locale set for this target. The package
    // path (at most 259 characters) and this text (at most 255) always fit
    // the installer's command line together.
    std::wstring filesInUse;
    LoadMessageText(ModuleInstance, kMsgFilesInUse, filesInUse, kMessageTextCapacity);
    target.commandLine = L"PATCH=\"" + packagePath + L"\" REBOOTPROMPT=S FILESINUSETEXT=\"" + filesInUse + L"\"";

    const int previousUiLevel = installer.setInternalUI(platform::kUiLevelBasicHideCancel);
    const std::uint32_t result = installer.configureProductEx(target.productCode, platform::kInstallLevelDefault,
                                                              platform::kInstallStateDefault, target.commandLine);
    installer.setInternalUI(previousUiLevel);

    if (IsSuccess(result)) {
        outcome = PackageOutcome::Applied;
    } else {
        platform::Current().thread->setLastError(result);
        ShowMessage(failureMessageId);
    }
}

}  // namespace

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

PackageOutcome RunPatchPackage(const std::wstring& resourceName, unsigned failureMessageId, bool recordProductName) {
    const platform::Services& services = platform::Current();

    // A package the executable does not carry has nothing to install: no
    // message, and the final message follows the other package.
    if (!IsPackageCarried(resourceName)) return PackageOutcome::UpToDate;

    // A package that is carried but cannot be written out is a failure, shown
    // with the system's reason.
    std::wstring extractedPath;
    if (!ExtractPackage(extractedPath, resourceName, 0)) {
        ShowMessage(failureMessageId);
        return PackageOutcome::Failed;
    }
    const ExtractedPackage package(extractedPath);

    Targets.clear();
    PatchTarget prototype;
    if (!ReadPatchVersions(package.path(), prototype.upgradeVersion, prototype.targetVersions)) {
        ShowMessage(failureMessageId);
        return PackageOutcome::Failed;
    }
    std::wstring productCodes;
    if (!ReadTargetProductCodes(package.path(), productCodes)) {
        ShowMessage(failureMessageId);
        return PackageOutcome::Failed;
    }

    SelectTargets(prototype, productCodes);
    if (Targets.count() == 0) {
        ShowMessage(kMsgProductNotFound);
        return PackageOutcome::Failed;
    }

    const std::wstring logFolder = PrepareTempFolder(kLogFolderCapacity);
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
        switch (DecideTarget(installed, upgrade, target.targetVersions)) {
            case TargetDecision::AlreadyPatched:
                ++upToDate;
                break;
            case TargetDecision::Apply:
                ApplyPatch(target, package.path(), logFolder, failureMessageId, outcome);
                break;
            case TargetDecision::EndUpToDate:
                // Targets after this one are not handled; the locale stays.
                // A product patched before is still reported as such.
                return outcome == PackageOutcome::Applied ? PackageOutcome::Applied : PackageOutcome::UpToDate;
            case TargetDecision::NotDesigned:
                ShowMessage(kMsgWrongVersion);
                break;
        }
    }

    if (upToDate == Targets.count()) {
        services.thread->setThreadLocale(kLocaleUserDefault);
        outcome = PackageOutcome::UpToDate;
    }
    return outcome;
}

void RunPatches() {
    // An executable that carries no package at all is broken: say so rather
    // than report an update that did not happen.
    if (!IsPackageCarried(kGlobalPackageResource) && !IsPackageCarried(kLanguagePackResource)) {
        platform::Current().thread->setLastError(platform::kErrorResourceNameNotFound);
        ShowMessage(kMsgFailureWithCode);
        return;
    }

    const PackageOutcome first = RunPatchPackage(kGlobalPackageResource, kMsgFailureWithCode, true);
    if (first == PackageOutcome::Failed) return;
    const PackageOutcome second = RunPatchPackage(kLanguagePackResource, kMsgFailureWithCode, false);

    // Final message, in the locale the last package run left.
    if (second == PackageOutcome::Failed) return;
    if (second == PackageOutcome::Applied || first == PackageOutcome::Applied) {
        ShowMessage(kMsgUpdated);
    } else {
        ShowMessage(kMsgUpToDate);
    }
}
