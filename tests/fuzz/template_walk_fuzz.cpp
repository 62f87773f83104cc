// The patch run's walk over a package's Template text: which product codes
// are asked about, in which order, and which become targets. The first input
// line is the Template; the second, when there is one, the package's list of
// applicable versions, for the decision taken on each target; the third the
// installed version. The decision is checked by its properties, not against
// a second implementation.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "app/patch_run.h"
#include "fuzz_input.h"
#include "installer_substitutes.h"
#include "package/patch_target.h"
#include "substitutes/fake_installer.h"

namespace {

// Whether the substitute reports a product code as installed (5), advertised
// (1), or unknown (-1): decided by the text, so that any code may be either.
int StateOf(const std::wstring& code) {
    const std::size_t h = std::hash<std::wstring>()(code) % 3;
    return h == 0 ? platform::kInstallStateDefault : h == 1 ? platform::kInstallStateAdvertised : -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::wstring> lines = fuzz::Lines(data, size);
    const std::wstring& productCodes = lines[0];
    const std::wstring targetVersions = lines.size() > 1 ? lines[1] : L"1.0.0.0,";

    // Every product the Template could name is there, in the state its code
    // gives it: the substitute answers for any code the walk asks about.
    fuzz::InstallerSubstitutes substitutes;
    fake::Installer& installer = substitutes.installer;
    for (std::size_t start = 0; start <= productCodes.size();) {
        std::size_t end = productCodes.find(L';', start);
        if (end == std::wstring::npos) end = productCodes.size();
        const std::wstring code = productCodes.substr(start, end - start);
        fake::Product& product = installer.products[code];
        product.state = StateOf(code);
        product.properties[L"VersionString"] = L"1.0.0.0";
        product.properties[L"ProductName"] = L"Name of " + code;
        product.properties[L"Language"] = L"1031";
        start = end + 1;
    }

    Targets.clear();
    PatchTarget prototype;
    prototype.upgradeVersion = L"2.0.0.0";
    prototype.targetVersions = targetVersions;
    SelectTargets(prototype, productCodes);

    // The codes asked about, by what they are rather than by walking again:
    // non-empty, without ";", and joined by ";" the start of the
    // Template, which after them ends, ends with ";" or goes on with an empty
    // entry.
    std::wstring asked;
    for (std::size_t i = 0; i < installer.stateQueries.size(); ++i) {
        const std::wstring& code = installer.stateQueries[i];
        FUZZ_CHECK(!code.empty() && code.find(L';') == std::wstring::npos);
        asked += (i == 0 ? L"" : L";") + code;
    }
    FUZZ_CHECK(productCodes.compare(0, asked.size(), asked) == 0);
    const std::wstring rest = productCodes.substr(asked.size());
    FUZZ_CHECK(rest.empty() || rest == L";" || rest.compare(0, installer.stateQueries.empty() ? 1 : 2,
                                                            installer.stateQueries.empty() ? L";" : L";;") == 0);
    // The targets: those asked about that the service reports installed or advertised, in order.
    std::vector<std::wstring> expectedTargets;
    for (const std::wstring& code : installer.stateQueries) {
        if (StateOf(code) >= 0) expectedTargets.push_back(code);
    }
    FUZZ_CHECK(Targets.count() == expectedTargets.size());
    for (std::size_t i = 0; i < Targets.count(); ++i) {
        const PatchTarget& target = Targets.at(i);
        FUZZ_CHECK(target.productCode == expectedTargets[i]);
        // The name as a C string of the service reads, in the 1024-character
        // buffer the program gives it (a longer one is not read at all).
        const std::wstring name = L"Name of " + target.productCode;
        FUZZ_CHECK(target.productName == (name.size() < 1024 ? name.substr(0, name.find(L'\0')) : L""));
        FUZZ_CHECK(target.language == L"1031" && target.installedVersion == L"1.0.0.0");
        FUZZ_CHECK(target.upgradeVersion == L"2.0.0.0" && target.targetVersions == targetVersions);
        FUZZ_CHECK(target.commandLine.empty());
    }

    // The decision: one of the four, the same for the same input, blind to
    // the text after the last ",", and "already patched" whenever the
    // installed version is the upgrade version.
    FourPartVersion installed, upgrade;
    installed.parse(lines.size() > 2 ? lines[2] : L"1.0.0.0");
    upgrade.parse(prototype.upgradeVersion);
    const TargetDecision decision = DecideTarget(installed, upgrade, targetVersions);
    FUZZ_CHECK(decision == TargetDecision::AlreadyPatched || decision == TargetDecision::Apply ||
               decision == TargetDecision::EndUpToDate || decision == TargetDecision::NotDesigned);
    FUZZ_CHECK(DecideTarget(installed, upgrade, targetVersions) == decision);
    FUZZ_CHECK(DecideTarget(installed, upgrade, targetVersions + L"2.0.0.0;1.0.0.0") == decision);
    FUZZ_CHECK(DecideTarget(upgrade, upgrade, targetVersions) == TargetDecision::AlreadyPatched);

    Targets.clear();
    platform::Install(platform::Services());
    return 0;
}
