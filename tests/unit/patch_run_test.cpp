// Install mode on the substitutes: which products are patched, what is asked
// of Windows Installer, and which boxes the user sees.
#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "app/actions.h"
#include "app/check_outcome.h"
#include "app/command_line.h"
#include "app/entry_point.h"
#include "app/pending_restart.h"
#include "app/project_version.h"
#include "app/run_log.h"
#include "app/patch_run.h"
#include "app/product_logs.h"
#include "app/switches.h"
#include "package/extraction.h"
#include "package/held_package.h"
#include "fixtures.h"
#include "ui/messages.h"

namespace {

constexpr std::uint32_t kKeywords = 5;
constexpr std::uint32_t kTemplate = 7;
const std::wstring kA = L"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::wstring kB = L"{BBBBBBBB-0000-0000-0000-000000000002}";
const std::wstring kC = L"{CCCCCCCC-0000-0000-0000-000000000003}";

// One package's state in the exit-code matrix: what its one target is, or
// "none" for a package that is not carried.
struct PackageState {
    const wchar_t* installed;  // nullptr: the target is not installed (307)
    std::uint32_t configureResult;
    bool carried;
};
const PackageState kApplied{L"1.0.0.0", 0, true}, kRestart{L"1.0.0.0", 3010, true},
    kRestarted{L"1.0.0.0", 1641, true}, kCurrent{L"2.0.0.0", 0, true}, kAbsent{nullptr, 0, true},
    kOld{L"1.7.0.0", 0, true}, kFails{L"1.0.0.0", 1603, true}, kFails2{L"1.0.0.0", 1605, true},
    kNone{nullptr, 0, false};

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class PatchRunTest : public InstallerTest {
protected:
    PatchRunTest() {
        // A short catalogue: the language shows in every text.
        for (auto [lang, tag] : {std::pair<std::uint16_t, std::wstring>{1033, L"en"}, {1031, L"de"}}) {
            for (unsigned id : {301u, 306u, 308u}) resources.addString(lang, id, tag + std::to_wstring(id) + L" %s");
            resources.addString(lang, 300, tag + L"300 %d");
            for (unsigned id : {307u, 311u, 312u, 313u}) resources.addString(lang, id, tag + std::to_wstring(id));
            resources.addString(lang, 315, tag + L" files in use:");
        }
        thread.locale = 1033;
        files.folders.insert(L"C:\\Temp");
        DisplayedProductName.clear();
    }

    void carry(const std::wstring& resource, const std::wstring& templ, const std::wstring& keywords) {
        const std::string bytes = "package " + std::string(resource.begin(), resource.end());
        resources.packages[resource] = bytes;
        fake::Package package;
        package.properties[kTemplate].text = templ;
        package.properties[kKeywords].text = keywords;
        installer.packagesByContent[bytes] = package;
    }

    void install(const std::wstring& code, const std::wstring& version, const std::wstring& name,
                 const std::wstring& language = L"1033", int state = 5) {
        installer.products[code] = {state, {{L"VersionString", version}, {L"ProductName", name}, {L"Language", language}}, {}};
    }

    // Each carried package targets a product of its own, in the state given.
    void arrange(const PackageState& global, const PackageState& languagePack) {
        resources.packages.clear();
        installer.products.clear();
        installer.configureResults.clear();
        const std::pair<const PackageState*, std::wstring> packages[] = {{&global, kA}, {&languagePack, kB}};
        for (const auto& [state, code] : packages) {
            if (!state->carried) continue;
            carry(code == kA ? L"IDR_MSP" : L"IDR_MSP_LP", code, L"2.0.0.0;1.0.0.0,");
            if (state->installed) install(code, state->installed, L"P");
            installer.configureResults[code] = state->configureResult;
        }
    }

    // The global package's run alone, in a working folder of its own.
    PackageOutcome runGlobalPackage() {
        std::uint32_t error = 0;
        const std::unique_ptr<WorkingFolder> folder = WorkingFolder::Create(error);
        return RunPatchPackage(*folder, L"IDR_MSP", 300, true);
    }

    std::vector<std::wstring> configured() const {
        std::vector<std::wstring> codes;
        for (const auto& c : installer.configures) codes.push_back(c.productCode);
        return codes;
    }

    std::vector<std::wstring> texts() const {
        std::vector<std::wstring> shown;
        for (const auto& box : boxes.shown) shown.push_back(box.text);
        return shown;
    }

    // No package file, working folder or hold is left, and every package
    // the installer opened was held.
    void expectNoPackageLeft() {
        for (const auto& [path, content] : files.files) {
            EXPECT_EQ(path.find(L"\\MSP"), std::wstring::npos) << "left behind: " << std::string(path.begin(), path.end());
        }
        for (const auto& [folder, withUser] : files.privateFolders) EXPECT_EQ(files.folders.count(folder), 0u);
        EXPECT_TRUE(files.held.empty());
        EXPECT_EQ(installer.unheldOpens, 0);
    }
};

TEST_F(PatchRunTest, DecisionForEachInstalledVersion) {
    struct Case {
        const wchar_t* installed;
        const wchar_t* targets;
        TargetDecision expected;
    } cases[] = {
        {L"2.0.0.0", L"1.0.0.0,", TargetDecision::AlreadyPatched},
        {L"2.0.0.0.7", L"", TargetDecision::AlreadyPatched},  // reads as 2.0.0.0
        {L"1.1.0.0", L"1.0.0.0,1.1.0.0,", TargetDecision::Apply},
        {L"1.1.0.0", L"1.0.0.0,1.1.0.0", TargetDecision::NotDesigned},  // the last entry has no ","
        {L"3.0.0.0", L"1.0.0.0,2.0.0.0,3.0.0.0,", TargetDecision::EndUpToDate},
        {L"1.0.0.0", L"1.0.0.0,2.0.0.0,", TargetDecision::Apply},
        {L"1.5.0.0", L"1.0.0.0,1.1.0.0,", TargetDecision::NotDesigned},
        {L"1.5.0.0", L"", TargetDecision::NotDesigned},
        {L"1.0.0.0", L" 1.0.0.0 ,", TargetDecision::Apply},
        {L"1,0,0,0", L"1.0.0.0,", TargetDecision::Apply},
    };
    FourPartVersion upgrade;
    upgrade.parse(L"2.0.0.0");
    for (const auto& c : cases) {
        FourPartVersion installed;
        installed.parse(c.installed);
        EXPECT_EQ(DecideTarget(installed, upgrade, c.targets), c.expected) << c.installed << " / " << c.targets;
    }
}

TEST_F(PatchRunTest, AppliedPatchIsReportedInTheProductsLanguage) {
    carry(L"IDR_MSP", kA, L"1.1.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"Beispiel", L"1031");
    RunPatches();

    ASSERT_EQ(installer.configures.size(), 1u);
    const auto& call = installer.configures[0];
    EXPECT_EQ(call.productCode, kA);
    EXPECT_EQ(call.level, 0);
    EXPECT_EQ(call.state, 5);
    EXPECT_EQ(call.uiLevel, 0x23);
    const std::wstring path = installer.openedPaths.front();
    EXPECT_EQ(call.commandLine, L"PATCH=\"" + path + L"\" REBOOTPROMPT=S FILESINUSETEXT=\"de files in use:\"");
    EXPECT_EQ(Targets.at(0).commandLine, call.commandLine);
    EXPECT_EQ(installer.logs, std::vector<std::wstring>{L"C:\\Temp\\Beispiel R2.log"});
    EXPECT_EQ(installer.uiLevel, 1);  // restored

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, L"de301 Beispiel");
    EXPECT_EQ(boxes.shown[0].caption, L"de312");
    EXPECT_EQ(boxes.shown[0].style, 0x50040u);
    EXPECT_EQ(files.files.count(path), 0u);  // the package file is gone
}

TEST_F(PatchRunTest, FinalMessageFollowsBothPackages) {
    struct Case {
        const char* what;
        const wchar_t* globalInstalled;    // nullptr: the package is not carried
        const wchar_t* langpackInstalled;  // nullptr: not carried
        std::vector<std::wstring> boxes;
        const wchar_t* secondGlobalTarget = nullptr;  // installed version of a second target of the global package
    } cases[] = {
        {"global: one target up to date, one applied", L"2.0.0.0", nullptr, {L"en301 Global"}, L"1.0.0.0"},
        {"global applied, no language pack", L"1.0.0.0", nullptr, {L"en301 Global"}},
        {"global up to date, no language pack", L"2.0.0.0", nullptr, {L"en306 Global"}},
        {"both applied", L"1.0.0.0", L"1.0.0.0", {L"en301 Global"}},
        {"global applied, language pack up to date", L"1.0.0.0", L"2.0.0.0", {L"en301 Global"}},
        {"global up to date, language pack applied", L"2.0.0.0", L"1.0.0.0", {L"en301 Global"}},
        {"both up to date", L"2.0.0.0", L"2.0.0.0", {L"en306 Global"}},
        {"language pack does not fit", L"1.0.0.0", L"1.7.0.0", {L"en308 Global"}},
        {"global does not fit: the language pack is not run", L"1.7.0.0", L"1.0.0.0", {L"en308 Global"}},
        {"only a language pack: its product is named", nullptr, L"1.0.0.0", {L"en301 Language Pack"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resources.packages.clear();
        installer.products.clear();
        installer.configures.clear();
        boxes.shown.clear();
        DisplayedProductName.clear();
        if (c.globalInstalled) {
            carry(L"IDR_MSP", c.secondGlobalTarget ? kA + L";" + kC : kA, L"2.0.0.0;1.0.0.0,");
            install(kA, c.globalInstalled, L"Global");
            if (c.secondGlobalTarget) install(kC, c.secondGlobalTarget, L"Global");
        }
        if (c.langpackInstalled) {
            carry(L"IDR_MSP_LP", kB, L"2.0.0.0;1.0.0.0,");
            install(kB, c.langpackInstalled, L"Language Pack");
        }
        RunPatches();
        EXPECT_EQ(texts(), c.boxes);
        // Beside a global package, the language pack's run never changes the name in the messages.
        EXPECT_EQ(DisplayedProductName, c.globalInstalled ? L"Global" : L"Language Pack");
        expectNoPackageLeft();
    }
}

TEST_F(PatchRunTest, ExitCodeTellsTheOutcomeOfBothPackages) {
    struct Case {
        PackageState global, languagePack;
        std::uint32_t exitCode;
    } cases[] = {
        {kApplied, kNone, 0},          {kApplied, kApplied, 0},       {kCurrent, kCurrent, 0},
        {kCurrent, kNone, 0},          {kNone, kApplied, 0},          {kApplied, kCurrent, 0},
        {kRestart, kApplied, 3010},    {kApplied, kRestart, 3010},    {kCurrent, kRestart, 3010},
        {kRestarted, kRestart, 1641},  {kRestart, kRestarted, 1641},  {kRestarted, kCurrent, 1641},
        {kAbsent, kApplied, 1642},     {kOld, kApplied, 1642},        {kCurrent, kOld, 1642},
        // A restart outranks "nothing applicable": the computer waits for it.
        {kRestart, kOld, 3010},
        // A language pack whose products are absent counts only without a global package.
        {kApplied, kAbsent, 0},        {kCurrent, kAbsent, 0},        {kRestarted, kAbsent, 1641},
        {kNone, kAbsent, 1642},
        {kFails, kApplied, 1603},      {kApplied, kFails, 1603},      {kRestarted, kFails2, 1605},
        {kCurrent, kFails2, 1605},     {kNone, kFails, 1603},         {kFails, kNone, 1603},
        // 307 ends the run before the language pack, which is not looked at.
        {kAbsent, kFails, 1642},
    };
    for (const Case& c : cases) {
        arrange(c.global, c.languagePack);
        EXPECT_EQ(ExitCodeFor(RunPatches()), c.exitCode) << "row " << (&c - cases);
    }
}

TEST(ExitCodes, FirstFailureWinsAndNeverReadsAsSuccess) {
    struct Case {
        std::vector<RunRecord::Entry> entries;
        std::uint32_t exitCode;
    } cases[] = {
        {{}, 0},
        {{{RunEvent::Failure, 1603}, {RunEvent::Failure, 1618}}, 1603},
        {{{RunEvent::RestartInitiated, 0}, {RunEvent::WrongVersion, 0}, {RunEvent::Failure, 4316}}, 4316},
        // A failure whose code reads as success or as nothing to do exits 1603.
        {{{RunEvent::Applied, 0}, {RunEvent::Failure, 0}}, 1603},
        {{{RunEvent::Failure, 1642}, {RunEvent::ProductNotFound, 0}}, 1603},
        {{{RunEvent::Failure, 3010}}, 1603},
        {{{RunEvent::Failure, 1641}}, 1603},
        {{{RunEvent::Failure, 0xFFFFFFFF}}, 0xFFFFFFFF},
        {{{RunEvent::RestartRequired, 0}, {RunEvent::WrongVersion, 0}}, 3010},
        {{{RunEvent::ProductNotFound, 0}, {RunEvent::RestartInitiated, 0}, {RunEvent::RestartRequired, 0}}, 1641},
        {{{RunEvent::UpToDate, 0}, {RunEvent::LanguagePackNotInstalled, 0}}, 0},
        // A box the user never saw leaves the products' outcome as it was.
        {{{RunEvent::RestartRequired, 0}, {RunEvent::MessageNotShown, 1400, 301}}, 3010},
    };
    for (const Case& c : cases) {
        RunRecord record;
        record.entries = c.entries;
        EXPECT_EQ(ExitCodeFor(record), c.exitCode) << "row " << (&c - cases);
    }
    for (std::uint32_t result : {0u, 1641u, 3010u, 1603u, 1618u}) {
        RunRecord record;
        record.note(EventOfConfigureResult(result), result);
        EXPECT_EQ(ExitCodeFor(record), result);
    }
    // Under /check 1 means "would be applied": a failure that came with 1 does not.
    RunRecord failedWithOne;
    failedWithOne.note(RunEvent::Failure, 1);
    EXPECT_EQ(CheckExitCodeFor(failedWithOne), 1603u);
}

TEST_F(PatchRunTest, UpToDateEndsInTheUsersLanguageAndPatchedInTheProducts) {
    carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
    install(kA, L"2.0.0.0", L"Beispiel", L"1031");
    RunPatches();
    EXPECT_EQ(thread.localesSet, (std::vector<std::uint32_t>{1031, 0x0400}));
    EXPECT_TRUE(installer.configures.empty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].caption, L"en313");
    EXPECT_EQ(boxes.shown[0].style, 0x50010u);
}

TEST_F(PatchRunTest, EarlyEndLeavesLaterTargetsAloneButNeverHidesASuccess) {
    struct Case {
        const char* what;
        const wchar_t* first;     // installed version of the first target
        std::uint32_t result;     // its configure result
        PackageOutcome outcome;
        std::vector<std::wstring> boxes;  // of RunPatches
    } cases[] = {
        {"first patched", L"1.0.0.0", 0, PackageOutcome::Applied, {L"de301 Second"}},
        {"first patched, restart needed", L"1.0.0.0", 3010, PackageOutcome::Applied, {L"de301 Second"}},
        // A failure is not followed by a box of success.
        {"first failed", L"1.0.0.0", 1603, PackageOutcome::UpToDate, {L"en300 1603"}},
        {"first already patched", L"2.0.0.0", 0, PackageOutcome::UpToDate, {L"de306 Second"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        carry(L"IDR_MSP", kA + L";" + kB + L";" + kC, L"2.0.0.0;1.0.0.0,2.0.0.0,3.0.0.0,");
        install(kA, c.first, L"First");
        install(kB, L"3.0.0.0", L"Second", L"1031");
        install(kC, L"1.0.0.0", L"Third");
        installer.configureResults[kA] = c.result;
        installer.configures.clear();
        EXPECT_EQ(runGlobalPackage(), c.outcome);
        EXPECT_EQ(configured(), c.first == std::wstring(L"1.0.0.0") ? std::vector<std::wstring>{kA}
                                                                     : std::vector<std::wstring>{});
        EXPECT_EQ(thread.locale, 1031u);  // the locale of the target where the run ended
        EXPECT_EQ(DisplayedProductName, L"Second");
        expectNoPackageLeft();

        boxes.shown.clear();
        RunPatches();
        EXPECT_EQ(texts(), c.boxes);
    }
}

TEST_F(PatchRunTest, TemplateWalkTakesCodesAsWrittenAndStopsAtAnEmptyEntry) {
    struct Case {
        std::wstring templ;
        std::vector<std::wstring> queried;
    } cases[] = {
        {kA + L";;" + kB, {kA}},
        {L";" + kA, {}},
        {L"", {}},
        {L" " + kA + L";" + kB, {L" " + kA, kB}},
        {kA + L";" + kB + L";", {kA, kB}},
    };
    install(kA, L"1.0.0.0", L"A");
    install(kB, L"1.0.0.0", L"B");
    for (const Case& c : cases) {
        installer.stateQueries.clear();
        Targets.clear();
        PatchTarget prototype;
        prototype.upgradeVersion = L"2.0.0.0";
        SelectTargets(prototype, c.templ);
        EXPECT_EQ(installer.stateQueries, c.queried) << std::string(c.templ.begin(), c.templ.end());
        for (std::size_t i = 0; i < Targets.count(); ++i) EXPECT_EQ(Targets.at(i).upgradeVersion, L"2.0.0.0");
    }
}

TEST_F(PatchRunTest, OnlyInstalledProductsBecomeTargetsInTemplateOrder) {
    install(kA, L"1.0.0.0", L"A", L"1033", 2);  // absent
    install(kB, L"1.2.0.0", L"B", L"1031", 1);  // advertised
    PatchTarget prototype;
    SelectTargets(prototype, kA + L";" + kB + L";" + kC);
    ASSERT_EQ(Targets.count(), 1u);
    EXPECT_EQ(Targets.at(0).productCode, kB);
    EXPECT_EQ(Targets.at(0).installedVersion, L"1.2.0.0");
    EXPECT_EQ(Targets.at(0).language, L"1031");
    for (const auto& [code, property] : installer.infoQueries) EXPECT_EQ(code, kB);
}

TEST_F(PatchRunTest, FailuresAreShownAndTheRunGoesOn) {
    carry(L"IDR_MSP", kA + L";" + kB + L";" + kC, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"Same Name");
    install(kB, L"1.0.0.0", L"Same Name", L"1031");
    install(kC, L"1.5.0.0", L"Other");
    installer.configureResults[kB] = 1603;
    EXPECT_EQ(runGlobalPackage(), PackageOutcome::Applied);
    EXPECT_EQ(configured(), (std::vector<std::wstring>{kA, kB}));
    // Both share one log path: the later log is added to the earlier.
    EXPECT_EQ(installer.logs, (std::vector<std::wstring>(2, L"C:\\Temp\\Same Name R2.log")));
    EXPECT_EQ(installer.logCalls[0].attributes, 0u);
    EXPECT_EQ(installer.logCalls[1].attributes, 1u);
    EXPECT_EQ(texts(), (std::vector<std::wstring>{L"de300 1603", L"en308 Other"}));
    EXPECT_EQ(installer.uiLevel, 1);
    EXPECT_EQ(installer.uiLevels, (std::vector<int>{0x23, 1, 0x23, 1}));
}

TEST_F(PatchRunTest, RebootResultsCountAsApplied) {
    for (std::uint32_t result : {0u, 1641u, 3010u}) {
        installer.configureResult = result;
        boxes.shown.clear();
        carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
        install(kA, L"1.0.0.0", L"A");
        EXPECT_EQ(runGlobalPackage(), PackageOutcome::Applied) << result;
        EXPECT_TRUE(boxes.shown.empty());
    }
    installer.configureResult = 1605;
    EXPECT_EQ(runGlobalPackage(), PackageOutcome::Failed);
    EXPECT_EQ(texts(), std::vector<std::wstring>{L"en300 1605"});
}

TEST_F(PatchRunTest, UnreadablePackagesAreReportedWithTheirCode) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::wstring box;
    } cases[] = {
        {"Keywords without ';'", [this] { carry(L"IDR_MSP", kA, L"2.0.0.0"); }, L"en300 4316"},
        {"Keywords starting with ';'", [this] { carry(L"IDR_MSP", kA, L";1.0.0.0,"); },
         L"en300 4316"},
        {"not a package",
         [this] { resources.packages[L"IDR_MSP"] = "not a package"; }, L"en300 1627"},
        {"Template unreadable",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             installer.packagesByContent["package IDR_MSP"].properties[kTemplate].result = 1610;
         },
         L"en300 1610"},
        {"no product installed", [this] { carry(L"IDR_MSP", kB + L";" + kC, L"2.0.0.0;1.0.0.0,"); },
         L"en307"},
        {"empty Template", [this] { carry(L"IDR_MSP", L"", L"2.0.0.0;1.0.0.0,"); }, L"en307"},
        {"temporary folder unusable",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             fake::Faults().failEvery["createFile"] = 5;  // access denied
         },
         L"en300 5"},
        {"no working folder", [this] { carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,"); fake::Faults().failEvery["createPrivateFolder"] = 0; },
         L"en300 82"},
        {"no random name", [this] { carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,"); fake::Faults().failEvery["randomBytes"] = 0; },
         L"en300 82"},
        // Another process at the file between its writing and its hold.
        {"a byte changed",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             files.beforeHold = [this](const std::wstring& path) { return (files.files[path][3] ^= 1) == 0; };
         },
         L"en300 1392"},
        // Read back past the package's end, but never compared with what lies beyond it in memory.
        {"bytes added",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             files.beforeHold = [this](const std::wstring& path) { return (files.files[path] += std::string(4096, '!')).empty(); };
         },
         L"en300 1392"},
        {"a byte cut off",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             files.beforeHold = [this](const std::wstring& path) { files.files[path].pop_back(); return false; };
         },
         L"en300 1392"},
        {"a second name made", // the hold takes only a plain file of one name
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             files.beforeHold = [this](const std::wstring& path) { return files.looks[path].linkCount = 2, false; };
         },
         L"en300 1392"},
        {"kept open", [this] { carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,"); files.beforeHold = [](auto&) { return true; }; },
         L"en300 32"},
        {"its place cannot be shown",
         [this] {
             carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
             files.beforeHold = [this](const std::wstring& path) {
                 files.looks[path].identityShown = false;
                 return false;
             };
         },
         L"en300 1921"},
        {"the temporary folder through a link",
         [this] { carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,"); files.linkedFolders.insert(L"C:\\Temp"); },
         L"en300 4395"},
        {"no package at all", [] {}, L"en300 1814"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resources.packages.clear();
        installer.packagesByContent.clear();
        installer.packages.clear();
        installer.configures.clear();
        fake::Faults().failEvery.clear();
        files.beforeHold = nullptr;
        files.linkedFolders.clear();
        thread.error = 0;
        installer.openedPaths.clear();
        boxes.shown.clear();
        install(kA, L"1.0.0.0", L"A");
        carry(L"IDR_MSP_LP", kA, L"2.0.0.0;1.0.0.0,");  // never reached after a failed global run
        resources.packages.erase(L"IDR_MSP_LP");
        if (std::string(c.what) != "no package at all") carry(L"IDR_MSP_LP", kA, L"2.0.0.0;1.0.0.0,");
        c.arrange();
        RunPatches();
        EXPECT_EQ(texts(), std::vector<std::wstring>{c.box});
        EXPECT_TRUE(installer.configures.empty());
        if (c.box == L"en300 1392" || c.box == L"en300 32") EXPECT_TRUE(installer.openedPaths.empty());
        expectNoPackageLeft();
    }
}

TEST_F(PatchRunTest, PackagesAndLogsAreHeldInAFolderOfTheRunsOwnUntilTheInstallerIsDone) {
    carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
    carry(L"IDR_MSP_LP", kA, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"P");
    const std::wstring temp = L"C:\\Temp", systemTemp = L"C:\\Windows\\SystemTemp", windowsTemp = L"C:\\Windows\\Temp";
    // Elevated, the user's TEMP counts only inside the profile the system records.
    const std::wstring userTemp = L"C:\\Users\\u\\Temp";
    struct Case {
        const char* what;
        bool elevated;
        std::function<void()> arrange;
        std::wstring parent;     // of the working folder
        std::wstring logFolder;  // of the product logs
        std::vector<std::uint32_t> sleeps;
    } cases[] = {
        {"not elevated: the temporary folder", false, [] {}, temp, temp, {}},
        {"elevated: the system's own, never the user's", true, [&] { files.folders.insert(systemTemp); }, systemTemp,
         userTemp, {}},
        {"elevated, no SystemTemp", true, [] {}, windowsTemp, userTemp, {}},
        {"elevated, SystemTemp moved by an administrator's link: resolved once", true,
         [&] {
             files.folders.insert({systemTemp, L"D:\\SystemTemp"});
             files.linkedFolders.insert(systemTemp);
             files.resolvedFolders[systemTemp] = L"D:\\SystemTemp";
         },
         L"D:\\SystemTemp", userTemp, {}},
        {"elevated, the user's TEMP through a link: no log written there", true,
         [&] { files.linkedFolders.insert(L"C:\\Users\\u"); }, windowsTemp, windowsTemp, {}},
        {"elevated, TEMP outside the user's profile: not used", true, [&] { files.temp = L"C:\\Temp\\"; },
         windowsTemp, windowsTemp, {}},
        {"elevated, TEMP missing: never made", true, [&] { files.temp = L"C:\\Users\\u\\New\\"; }, windowsTemp,
         windowsTemp, {}},
        {"elevated, TEMP on a network drive: not used", true, [&] { files.networkFolders.insert(L"C:\\Users"); },
         windowsTemp, windowsTemp, {}},
        {"elevated, TEMP on a substituted drive: not used", true,
         [&] { files.substitutedFolders.insert(userTemp); }, windowsTemp, windowsTemp, {}},
        {"elevated, the profile in another case of non-ASCII letters", true,
         [&] {
             files.profile = L"C:\\USERS\\J\u00d6RG\u0416";
             files.temp = L"C:\\Users\\j\u00f6rg\u0436\\Temp\\";
             files.folders.insert(L"C:\\Users\\j\u00f6rg\u0436\\Temp");
         },
         windowsTemp, L"C:\\Users\\j\u00f6rg\u0436\\Temp", {}},
        {"a scanner has each new package open a moment", false,
         [&] { files.beforeHold = [n = 0](const std::wstring&) mutable { return ++n % 2 == 1; }; }, temp, temp,
         {100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.elevated = c.elevated;
        files.temp = c.elevated ? userTemp + L"\\" : L"C:\\Temp\\";
        files.profile = L"C:\\Users\\u";
        files.folders = {temp, windowsTemp, userTemp};
        files.files.clear();
        files.linkedFolders.clear();
        files.networkFolders.clear();
        files.substitutedFolders.clear();
        files.beforeHold = nullptr;
        files.privateFolders.clear();
        files.nextRandom = 0;
        installer.configures.clear();
        clock.sleeps.clear();
        ForgetProductLogs();
        c.arrange();
        const std::set<std::wstring> foldersBefore = files.folders;
        const std::optional<std::wstring> tempBefore = files.temp;
        RunPatches();
        EXPECT_EQ(files.folders, foldersBefore);  // nothing of the user's made
        // Nor does Windows Installer's client write its own files there.
        EXPECT_EQ(files.temp, c.elevated && c.logFolder == windowsTemp ? windowsTemp + L"\\" : tempBefore);
        // Elevated, a log outside the user's own temporary folder is for administrators only.
        EXPECT_EQ(files.privateFiles.count(c.logFolder + L"\\P R2.log"), c.elevated && c.logFolder == windowsTemp);
        ASSERT_EQ(files.privateFolders.size(), 1u);
        const auto [folder, withUser] = *files.privateFolders.begin();
        EXPECT_EQ(withUser, !c.elevated);  // SYSTEM and Administrators only, when elevated
        // 128 random bits, base-32: the bytes the system gave, 0 to 15.
        EXPECT_EQ(folder, c.parent + L"\\aaaqeayeaudaocajbifqydiob4");
        ASSERT_EQ(installer.configures.size(), 2u);
        // Held through each configure call: the package, its folder, the log and the log's folder.
        for (const auto& call : installer.configures) {
            const std::wstring package = call.commandLine.substr(7, call.commandLine.find(L'"', 7) - 7);
            EXPECT_EQ(package.rfind(folder + L"\\MSP", 0), 0u);
            EXPECT_EQ(call.held, (std::map<std::wstring, int>{
                                     {package, 1}, {folder, 1}, {c.logFolder + L"\\P R2.log", 1}, {c.logFolder, 1}}));
        }
        EXPECT_EQ(clock.sleeps, c.sleeps);
        expectNoPackageLeft();
    }
}

TEST_F(PatchRunTest, QuietSwitchesDecideAlikeAndSetTheInstallersUi) {
    struct Case {
        std::vector<std::wstring> args;
        int uiLevel;
        bool norestart;
        std::size_t boxes;
    } cases[] = {
        {{}, 0x23, false, 2},
        {{L"/q"}, 0x23, false, 0},
        {{L"/quiet"}, 2, false, 0},
        {{L"/passive"}, 0x63, false, 0},
        {{L"/passive", L"/quiet"}, 2, false, 0},
        {{L"/q", L"/quiet"}, 2, false, 0},
        {{L"/norestart"}, 0x23, true, 2},
        {{L"/q", L"/norestart", L"/passive"}, 0x63, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        std::vector<std::wstring> args{L"update.exe"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ScanArguments(args);
        installer.configures.clear();
        boxes.shown.clear();
        carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
        install(kA, L"1.0.0.0", L"A");
        install(kB, L"1.7.0.0", L"B");
        installer.configureResult = 1603;
        RunPatches();
        ASSERT_EQ(configured(), std::vector<std::wstring>{kA});
        EXPECT_EQ(installer.configures[0].uiLevel, c.uiLevel);
        EXPECT_EQ(installer.uiLevel, 1);
        EXPECT_EQ(EndsWith(installer.configures[0].commandLine, L" REBOOT=ReallySuppress"), c.norestart);
        EXPECT_EQ(boxes.shown.size(), c.boxes);
    }
}

TEST(LogFileNames, KeepEveryProductsLogInTheLogFolder) {
    const std::wstring folder = L"C:\\Temp";
    const std::wstring room(259 - folder.size() - 1 - 7, L'n');  // what fits beside " R2.log"
    const std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};  // one character, two code units
    struct Case {
        std::wstring folder, name;
        unsigned number;
        std::wstring expected;
    } cases[] = {
        {folder, L"Example Product", 1, L"C:\\Temp\\Example Product R2.log"},
        {L"c:", L"A/B: \"Pro\" <x64>|*?\\", 1, L"c:\\A_B_ _Pro_ _x64_____ R2.log"},
        {folder, L"Line\nBreak", 1, L"C:\\Temp\\Line_Break R2.log"},
        {folder, L"Example Product", 2, L"C:\\Temp\\Example Product R2 (2).log"},
        {folder, L"", 1, L"C:\\Temp\\ R2.log"},
        // Too long: the name is shortened, " R2.log" stays.
        {folder, room, 1, folder + L"\\" + room + L" R2.log"},
        {folder, room + L"xyz", 1, folder + L"\\" + room + L" R2.log"},
        {folder, std::wstring(10000, L'n'), 1, folder + L"\\" + room + L" R2.log"},
        {folder, room + L"xyz", 12, folder + L"\\" + room.substr(5) + L" R2 (12).log"},
        // A pair that would be cut in half goes whole.
        {folder, room.substr(1) + pair, 1, folder + L"\\" + room.substr(1) + L" R2.log"},
        {folder, room.substr(2) + pair + L"x", 1, folder + L"\\" + room.substr(2) + pair + L" R2.log"},
        // The folder alone leaves no room.
        {std::wstring(259 - 8, L'f'), L"n", 1, L""},
        {std::wstring(259 - 9, L'f'), L"n", 1, std::wstring(259 - 9, L'f') + L"\\n R2.log"},
        {std::wstring(300, L'f'), L"", 1, L""},
    };
    for (const Case& c : cases) {
        const std::wstring path = LogFilePath(c.folder, c.name, c.number);
        EXPECT_EQ(path, c.expected) << std::string(c.name.begin(), c.name.begin() + std::min<std::size_t>(c.name.size(), 40));
        EXPECT_LE(path.size(), 259u);
    }
}

TEST_F(PatchRunTest, EveryProductLogsToItsOwnFileOrNowhere) {
    // A product whose log path must be shortened, then one whose folder
    // leaves no room: logging is turned off rather than left on the first.
    carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
    const std::wstring longName(1000, L'N');
    install(kA, L"1.0.0.0", longName);
    install(kB, L"1.0.0.0", L"B");
    files.temp = L"C:\\" + std::wstring(200, L't') + L"\\";
    files.folders.insert(L"C:\\" + std::wstring(200, L't'));
    RunPatches();
    ASSERT_EQ(installer.logCalls.size(), 2u);
    EXPECT_EQ(installer.logCalls[0].path, L"C:\\" + std::wstring(200, L't') + L"\\" + std::wstring(48, L'N') + L" R2.log");
    EXPECT_EQ(installer.logCalls[0].mode, 0x1000u);
    EXPECT_EQ(installer.logCalls[1].path, L"C:\\" + std::wstring(200, L't') + L"\\B R2.log");
    EXPECT_EQ(configured(), (std::vector<std::wstring>{kA, kB}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_LE(boxes.shown[0].text.size(), std::wstring(L"en301 %s").size() + 511u);  // cut, not overrun

    installer.logCalls.clear();
    const std::wstring full(254, L'f');
    files.folders.insert(full);
    std::uint32_t error = 0;
    EnableProductLog(files.openFolder(L"C:\\Temp", error).get(), L"A");
    EnableProductLog(files.openFolder(full, error).get(), L"B");
    ASSERT_EQ(installer.logCalls.size(), 2u);
    EXPECT_EQ(installer.logCalls[1].mode, 0u);
    EXPECT_EQ(installer.logCalls[1].path, L"");
}

TEST_F(PatchRunTest, LogsNeverGoThroughAFileSomeoneElsePlaced) {
    const std::wstring log = L"C:\\Temp\\P R2.log";
    const std::wstring second = L"C:\\Temp\\P R2 (2).log";
    platform::ExistingFile twoNames, foreign, both, unknown, administrative;
    administrative.ownerAdministrative = true;
    unknown.plainFile = false;
    twoNames.linkCount = 2;
    foreign.ownerTrusted = false;
    both.linkCount = 3;
    both.ownerTrusted = false;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::wstring path;          // logged to
        std::uint32_t attributes;
        bool planted;               // the placed thing is still there
    } cases[] = {
        {"nothing there", [] {}, log, 0, false},
        {"a log of an earlier run", [&] { files.files[log] = "old log"; }, log, 0, true},
        {"a link", [&] { files.links[log] = L"C:\\secret"; }, log, 0, false},
        {"a file with two names", [&] { files.files[log] = "x"; files.looks[log] = twoNames; }, log, 0, false},
        // Elevated, nothing that this run did not make is written through or deleted.
        {"a foreign owner's file, elevated",
         [&] { files.files[log] = "x"; files.looks[log] = foreign; files.elevated = true; }, second, 1, true},
        {"the user's file, elevated", [&] { files.files[log] = "old log"; files.elevated = true; }, second, 1, true},
        {"a log an earlier elevated run made, elevated",
         [&] { files.files[log] = "old log"; files.looks[log] = administrative; files.elevated = true; }, log, 0, true},
        {"a link, elevated", [&] { files.links[log] = L"C:\\secret"; files.elevated = true; }, second, 1, true},
        {"a foreign owner's file, not elevated", [&] { files.files[log] = "x"; files.looks[log] = foreign; }, log,
         0, true},
        {"a file whose look cannot be completed", [&] { files.files[log] = "x"; files.looks[log] = unknown; }, log, 0,
         false},
        // The new file is made exclusively: a link placed again at once is never opened.
        {"a link placed again once deleted",
         [&] {
             files.links[log] = L"C:\\secret";
             files.afterDelete = [&](const std::wstring& path) { files.links[path] = L"C:\\secret"; };
         },
         second, 1, true},
        {"a link that cannot be deleted",
         [&] { files.links[log] = L"C:\\secret"; files.undeletable.insert(log); }, second, 1, true},
        {"a folder", [&] { files.folders.insert(log); }, second, 1, true},
        {"a file made new that is not one of its own",
         [&] { files.looks[log] = unknown; files.undeletable.insert(log); }, second, 1, false},
        {"an undeletable file with three names, and (2) taken",
         [&] {
             files.files[log] = "x";
             files.looks[log] = both;
             files.undeletable.insert(log);
             files.files[second] = "someone's";
         },
         L"C:\\Temp\\P R2 (3).log", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.files.clear();
        files.links.clear();
        files.looks.clear();
        files.undeletable.clear();
        files.afterDelete = nullptr;
        files.folders = {L"C:\\Temp"};
        files.files[L"C:\\secret"] = "secret";
        files.elevated = false;
        installer.logCalls.clear();
        ForgetProductLogs();
        c.arrange();
        std::uint32_t error = 0;
        const auto folder = files.openFolder(L"C:\\Temp", error);
        EnableProductLog(folder.get(), L"P");
        EnableProductLog(folder.get(), L"p");  // the same file: added to
        ASSERT_EQ(installer.logCalls.size(), 2u);
        EXPECT_EQ(installer.logCalls[0].path, c.path);
        EXPECT_EQ(installer.logCalls[0].attributes, c.attributes);
        EXPECT_EQ(installer.logCalls[1].path, c.path);
        EXPECT_EQ(installer.logCalls[1].attributes, 1u);
        // What was placed stays only where it cannot be removed; the file
        // logged to is the program's own, made new.
        const bool placedThere = files.links.count(log) != 0 || files.folders.count(log) != 0 ||
                                 (files.files.count(log) != 0 && !files.files[log].empty());
        EXPECT_EQ(placedThere, c.planted);
        EXPECT_EQ(files.files[L"C:\\secret"], "secret");
        if (c.path != log) EXPECT_EQ(files.files[c.path], "");  // made new, and empty
    }
    // The folder made a link once the log is in it (Windows Installer opens
    // the log by its path): no log for the call, and the file made goes again.
    files.files.clear();
    files.undeletable.clear();
    files.looks.clear();
    installer.logCalls.clear();
    ForgetProductLogs();
    files.afterCreate = [&](const std::wstring&) { files.linkedFolders.insert(L"C:\\Temp"); };
    std::uint32_t error = 0;
    EnableProductLog(files.openFolder(L"C:\\Temp", error).get(), L"P");
    ASSERT_EQ(installer.logCalls.size(), 1u);
    EXPECT_EQ(installer.logCalls[0].path, L"");
    EXPECT_TRUE(files.files.empty());
}

}  // namespace

namespace {

// Runs, writing the program's own log, on the substitutes.
class RunLogTest : public PatchRunTest {
protected:
    int run(const std::vector<std::wstring>& args) {
        arguments.arguments = {L"C:\\Downloads\\Update Kit.exe"};
        arguments.arguments.insert(arguments.arguments.end(), args.begin(), args.end());
        return RunEntryPoint(ModuleInstance);
    }
    // The log's lines without their timestamps; empty when there is no such file.
    std::vector<std::string> lines(const std::wstring& path) {
        std::vector<std::string> result;
        if (files.files.count(path) == 0) return result;
        std::string text = files.files[path];
        EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
        for (std::size_t start = 3, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            EXPECT_EQ(text.substr(start, 24), "2026-12-08 21:46:09.007 ");
            result.push_back(text.substr(start + 24, end - start - 24));
        }
        return result;
    }
    // The lines of the own log: the one log that is not a product's.
    std::vector<std::string> onlyLog() {
        for (const auto& [path, content] : files.files) {
            if (EndsWith(path, L".log") && !EndsWith(path, L" R2.log")) return lines(path);
        }
        return {};
    }
    // What the previous run of a table left: files, configure calls, opened packages, boxes.
    void forgetRun() {
        files.files.clear();
        installer.configures.clear();
        installer.openedPaths.clear();
        boxes.shown.clear();
    }
    static bool has(const std::vector<std::string>& lines, const std::string& part) {
        for (const auto& line : lines) {
            if (line.find(part) != std::string::npos) return true;
        }
        return false;
    }
};

TEST_F(RunLogTest, LogFileHoldsEveryEventAndTheInstallerLogsGoBesideIt) {
    files.folders.insert(L"D:\\logs");
    carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"\u00dcberprodukt", L"1031");
    install(kB, L"1.7.0.0", L"Old");
    installer.configureResults[kA] = 3010;
    resources.addString(1033, 308, L"en308\r\n%s");  // a line break of the catalogue stays in its line
    EXPECT_EQ(run({L"/quiet", L"/log", L"D:\\logs\\run.log"}), 3010);  // the restart outranks the 308
    EXPECT_EQ(installer.logs, std::vector<std::wstring>{L"D:\\logs\\\u00dcberprodukt R2.log"});
    EXPECT_TRUE(boxes.shown.empty());
    const auto log = lines(L"D:\\logs\\run.log");
    for (const std::string& part : std::vector<std::string>{
             "Version " UPDATE_PROJECT_VERSION ", command line: \"C:\\Downloads\\Update Kit.exe\" /quiet /log D:\\logs\\run.log",
             "Package IDR_MSP: 15 bytes, Template \"" + std::string(kA.begin(), kA.end()) + ";",
             "Keywords \"2.0.0.0;1.0.0.0,\"",
             "\"\xC3\x9c" "berprodukt\", language 1031, installed version 1.0.0.0",
             "at 1.0.0.0 (upgrade 2.0.0.0, applies to \"1.0.0.0,\"): its version is one the package applies to",
             "REBOOTPROMPT=S FILESINUSETEXT=\"de files in use:\"\", installer log D:\\logs\\\xC3\x9c" "berprodukt R2.log",
             "returned 3010 after 0.0 s",
             "at 1.7.0.0 (upgrade 2.0.0.0, applies to \"1.0.0.0,\"): its version is not one the package applies to",
             "Message 308 suppressed: en308  Old",
             "Package IDR_MSP_LP: not carried",
             "Exit code 3010",
         }) {
        EXPECT_TRUE(has(log, part)) << part;
    }
    EXPECT_EQ(log.back(), "Exit code 3010");
}

TEST_F(RunLogTest, ALogThatCannotBeWrittenChangesNothing) {
    struct Case {
        const char* what;
        std::vector<std::wstring> args;
        std::wstring productLog;
        std::wstring ownLog;  // where it is, if anywhere
    } cases[] = {
        {"default name", {L"/norestart"}, L"C:\\Temp\\P R2.log", L"C:\\Temp\\Update Kit_20261208214609.log"},
        {"taken default name", {L"/norestart"}, L"C:\\Temp\\P R2.log", L"C:\\Temp\\Update Kit_20261208214609_2.log"},
        {"/log last", {L"/norestart", L"/log"}, L"C:\\Temp\\P R2.log", L"C:\\Temp\\Update Kit_20261208214609.log"},
        {"read-only file: the next free name", {L"/log", L"D:\\logs\\ro.log"}, L"D:\\logs\\P R2.log",
         L"D:\\logs\\ro_2.log"},
        // Which a directory search does not find: the product logs still go beside the own log.
        {"at a drive root", {L"/log", L"D:\\run.log"}, L"D:\\P R2.log", L"D:\\run.log"},
        {"relative", {L"/log", L"run.log"}, L"C:\\Work\\P R2.log", L"C:\\Work\\run.log"},
        {"of an earlier run", {L"/log", L"D:\\logs\\old.log"}, L"D:\\logs\\P R2.log", L"D:\\logs\\old.log"},
        {"folder through a link", {L"/log", L"D:\\linked\\run.log"}, L"C:\\Windows\\Temp\\P R2.log", L""},
        {"default name, TEMP through a link", {L"/norestart"}, L"C:\\Windows\\Temp\\P R2.log",
         L"C:\\Windows\\Temp\\Update Kit_20261208214609.log"},
        {"missing folder", {L"/log", L"D:\\none\\run.log"}, L"C:\\Temp\\P R2.log", L""},
        {"path too long", {L"/log", L"D:\\" + std::wstring(300, L'x') + L"\\run.log"}, L"C:\\Temp\\P R2.log", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.files.clear();
        files.folders = {L"C:\\Temp", L"C:\\Windows\\Temp", L"C:\\Work", L"D:\\logs", L"D:\\linked",
                         L"D:\\" + std::wstring(300, L'x')};
        files.linkedFolders = {L"D:\\linked"};
        // Elevated, as always: the working folder is the system's then.
        files.elevated = std::string(c.what) == "default name, TEMP through a link";
        if (files.elevated) files.linkedFolders.insert(L"C:\\Temp");
        files.profile = L"C:\\";  // C:\Temp the user's, but for the link
        // What the system refuses to create.
        files.readOnly = {L"D:\\logs\\ro.log", L"D:\\none\\run.log", L"D:\\" + std::wstring(300, L'x') + L"\\run.log"};
        files.temp = std::wstring(L"C:\\Temp\\");
        if (std::string(c.what) == "taken default name") files.files[L"C:\\Temp\\Update Kit_20261208214609.log"] = "x";
        if (std::string(c.what) == "of an earlier run") files.files[L"D:\\logs\\old.log"] = "an earlier run's log";
        installer.logs.clear();
        boxes.shown.clear();
        carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
        install(kA, L"1.0.0.0", L"P");
        installer.configureResult = 1603;
        EXPECT_EQ(run(c.args), 1603);
        EXPECT_EQ(installer.logs, std::vector<std::wstring>{c.productLog});
        for (const auto& path : files.openedExisting) EXPECT_EQ(path, c.ownLog);  // an own file of an earlier run only
        files.openedExisting.clear();
        EXPECT_EQ(boxes.shown.size(), 1u);
        std::size_t logs = 0;
        for (const auto& [path, content] : files.files) {
            logs += path != c.productLog && path.size() > 4 && path.substr(path.size() - 4) == L".log";
        }
        if (c.ownLog.empty()) {
            EXPECT_EQ(logs, 0u);
        } else {
            EXPECT_TRUE(has(lines(c.ownLog), "Message 300 shown: en300 1603"));
            EXPECT_EQ(has(lines(c.ownLog), "cannot be held free of links (error 4395): written to C:\\Windows\\Temp"),
                      c.ownLog.rfind(L"C:\\Windows", 0) == 0);
            EXPECT_EQ(lines(c.ownLog).back(), "Exit code 1603");
        }
    }
}

TEST_F(RunLogTest, TheOwnLogIsNeverWrittenThroughAPlacedLink) {
    for (bool removable : {true, false}) {
        SCOPED_TRACE(removable ? "a link that can be removed" : "a link that stays");
        files.files.clear();
        files.folders = {L"C:\\Temp", L"D:\\logs"};
        files.files[L"C:\\Windows\\secret.txt"] = "secret";
        files.links = {{L"D:\\logs\\run.log", L"C:\\Windows\\secret.txt"}};
        files.undeletable.clear();
        if (!removable) files.undeletable.insert(L"D:\\logs\\run.log");
        carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
        install(kA, L"1.0.0.0", L"P");
        EXPECT_EQ(run({L"/log", L"D:\\logs\\run.log"}), 0);
        EXPECT_EQ(files.files[L"C:\\Windows\\secret.txt"], "secret");
        EXPECT_EQ(lines(removable ? L"D:\\logs\\run.log" : L"D:\\logs\\run_2.log").back(), "Exit code 0");
    }
}

// Names someone else took where each path makes a file: a link to another
// file, a folder and a read-only file, in turn. Nothing is written through
// them, and nothing is deleted but at a place an administrator named (the
// /log file, the /e target) or, not elevated, at a product log's name; the
// file goes to the next free name.
TEST_F(RunLogTest, TakenNamesAreNeverWrittenThroughAndElevatedNeverDeleted) {
    const std::wstring temp = L"C:\\Users\\u\\Temp\\", own = temp + L"Update Kit_20261208214609";
    fake::OsVersion os;
    services.osVersion = &os;
    platform::Install(services);
    resources.addString(1033, 316, L"_glob");
    struct Row {
        const char* what;
        std::vector<std::wstring> args;
        std::vector<std::wstring> planted;  // "#k": the k-th "MSP<n>" name the run will try
        std::wstring made, madeElevated;
        bool replaced, replacedElevated;  // the first planted entry gives way to the file made
    } rows[] = {
        {"product log, the first and numbered names", {L"/q"},
         {temp + L"P R2.log", temp + L"P R2 (2).log", temp + L"P R2 (3).log"}, temp + L"P R2.log",
         temp + L"P R2 (4).log", true, false},
        {"/log", {L"/quiet", L"/log", L"D:\\logs\\run.log"}, {L"D:\\logs\\run.log"}, L"D:\\logs\\run.log",
         L"D:\\logs\\run.log", true, true},
        {"the default own log", {L"/quiet"}, {own + L".log", own + L"_2.log", own + L"_3.log"}, own + L"_4.log",
         own + L"_4.log", false, false},
        {"/e with a path", {L"/e", L"D:\\Out\\x.msp"}, {L"D:\\Out\\x_glob.msp"}, L"D:\\Out\\x_glob.msp",
         L"D:\\Out\\x_glob.msp", true, true},
        {"/e without a path", {L"/e"}, {L"#1", L"#2", L"#3"}, L"#4", L"#4", false, false},
        {"/i", {L"/i"}, {L"#1", L"#2", L"#3"}, L"#4", L"#4", false, false},
    };
    for (const Row& row : rows) {
        for (bool elevated : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (elevated ? ", elevated" : ""));
            forgetRun();
            ForgetProductLogs();
            files.links.clear();
            files.readOnly.clear();
            files.elevated = elevated;
            files.temp = temp;
            files.folders = {L"C:\\Users\\u\\Temp", L"C:\\Windows\\Temp", L"D:\\logs", L"D:\\Out"};
            files.files[L"C:\\secret"] = "secret";
            carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
            install(kA, L"1.0.0.0", L"P");
            const unsigned n = NextPackageNumber();
            const auto resolve = [&](const std::wstring& name) {
                return name[0] == L'#' ? temp + L"MSP" + std::to_wstring(n + (name[1] - L'0')) : name;
            };
            for (std::size_t i = 0; i < row.planted.size(); ++i) {
                const std::wstring path = resolve(row.planted[i]);
                if (i % 3 == 0) files.links[path] = L"C:\\secret";
                if (i % 3 == 1) files.folders.insert(path);
                if (i % 3 == 2) files.files[path] = "someone's", files.readOnly.insert(path);
            }
            run(row.args);
            EXPECT_EQ(files.files[L"C:\\secret"], "secret");
            const std::wstring made = resolve(elevated ? row.madeElevated : row.made);
            EXPECT_EQ(files.files.count(made), 1u);
            EXPECT_EQ(files.links.count(made), 0u);
            const bool replaced = elevated ? row.replacedElevated : row.replaced;
            for (std::size_t i = replaced ? 1 : 0; i < row.planted.size(); ++i) {
                const std::wstring path = resolve(row.planted[i]);
                EXPECT_TRUE(i % 3 == 0 ? files.links.count(path) != 0 : i % 3 == 1 ? files.folders.count(path) != 0
                                                                                    : files.files[path] == "someone's")
                    << "gone: " << std::string(path.begin(), path.end());
            }
        }
    }
}

TEST_F(RunLogTest, PlainCommandLinesWriteNoLogAndWaitForNothing) {
    carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"P");
    installer.busyCalls = {1618};
    EXPECT_EQ(run({L"/q"}), 0);
    EXPECT_EQ(files.files, (std::map<std::wstring, std::string>{{L"C:\\Temp\\P R2.log", ""}}));  // no own log
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(installer.configures.size(), 1u);
    EXPECT_EQ(resources.stringLoads, 1);  // the files-in-use text only: no message is loaded under /q
}

TEST_F(RunLogTest, AnotherInstallationInProgressIsWaitedOut) {
    struct Case {
        std::size_t busy;
        std::vector<std::uint32_t> sleeps;
        int exitCode;
        std::wstring templ = kA;
    } cases[] = {
        {0, {}, 0},
        {1, {5000}, 0},
        {3, {5000, 10000, 20000}, 0},
        // 5 + 10 + 20 + 40 + 8 x 60 = 555 s; the last wait ends at ten minutes.
        {100, {5000, 10000, 20000, 40000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 45000}, 1618},
        // Ten minutes for the whole run: a second busy target waits no more.
        {100, {5000, 10000, 20000, 40000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 60000, 45000}, 1618,
         kA + L";" + kB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.busy);
        files.files.clear();
        installer.configures.clear();
        clock.sleeps.clear();
        carry(L"IDR_MSP", c.templ, L"2.0.0.0;1.0.0.0,");
        install(kA, L"1.0.0.0", L"P");
        install(kB, L"1.0.0.0", L"Q");
        installer.busyCalls.assign(c.busy, 1618);
        EXPECT_EQ(run({L"/quiet", L"/log", L"C:\\Temp\\run.log"}), c.exitCode);
        EXPECT_EQ(clock.sleeps, c.sleeps);
        EXPECT_EQ(installer.configures.size(), c.sleeps.size() + (c.templ == kA ? 1 : 2));
        const auto log = lines(L"C:\\Temp\\run.log");
        EXPECT_EQ(has(log, "Another installation is in progress (1618): waiting 5 s before trying again"), c.busy > 0);
        if (c.busy == 100) EXPECT_TRUE(has(log, "waiting 45 s"));
    }
}

TEST(RunLogText, Utf8AndDefaultNames) {
    EXPECT_EQ(ToUtf8(L"a\u00e9\u20ac"), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ToUtf8(std::wstring{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");  // a pair of UTF-16 units
    EXPECT_EQ(ToUtf8(std::wstring{0xD83D, L'x'}), "\xEF\xBF\xBDx");       // an unpaired one
    const platform::LocalTime t{2027, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(DefaultRunLogName(L"C:\\x y\\Setup.v2.exe", t), L"Setup.v2_20270102030405.log");
    EXPECT_EQ(DefaultRunLogName(L"", t), L"update_20270102030405.log");
}

}  // namespace

namespace {

TEST_F(RunLogTest, HelpShowsOneBoxInTheUsersLanguageAndRunsNothing) {
    for (auto [lang, tag] : {std::pair<std::uint16_t, std::wstring>{1033, L"en"}, {1031, L"de"}}) {
        for (unsigned id = 320; id <= 333; ++id) resources.addString(lang, id, tag + std::to_wstring(id));
        resources.addString(lang, 321, tag + L" version %s");
    }
    thread.userUiLanguage = 1031;  // the product's language plays no part
    carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"P");
    for (const std::vector<std::wstring>& args : std::vector<std::vector<std::wstring>>{
             {L"/?"}, {L"/HELP", L"/quiet", L"/log", L"C:\\Temp\\run.log"}, {L"/q", L"/Help"}, {L"/?", L"/e", L"x"},
             {L"/?", L"/i"}}) {
        boxes.shown.clear();
        EXPECT_EQ(run(args), 0);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, L"de320");
        EXPECT_EQ(boxes.shown[0].text, L"de version " + std::wstring(kProjectVersion) + L"\n\nde322\nde323\nde324\nde325\nde333\nde332\nde326\nde327\nde328\nde329\n\n"
                                       L"de330\nde331");
        EXPECT_EQ(boxes.shown[0].style, 0x50040u);
        EXPECT_TRUE(installer.configures.empty());
        EXPECT_TRUE(files.files.empty());
    }
}

}  // namespace

namespace {

TEST_F(RunLogTest, NoBoxIsShownWhereNobodyCanSeeIt) {
    using platform::StationVisibility;
    const platform::StationCheck invisible{StationVisibility::Invisible, L"Service-0x0-3e7$", 0};
    const platform::StationCheck unreadable{StationVisibility::Unknown, L"", 5};
    const platform::StationCheck visible{StationVisibility::Visible, L"WinSta0", 0};
    struct Case {
        std::vector<std::wstring> args;
        platform::StationCheck station;
        int exitCode;
        std::size_t boxes;
        int uiLevel;          // of the configure call; 0: none is made
        const char* logged;   // in the own log
        std::uint32_t boxError = 0;  // every box fails so, on a station a user sees
    } cases[] = {
        {{}, invisible, 0, 0, 2, nullptr},
        {{L"/i"}, invisible, 0, 0, 0, nullptr},
        {{L"/?"}, invisible, 0, 0, 0, nullptr},
        {{L"/passive", L"/norestart"}, invisible, 3010, 0, 2,
         "Boxes suppressed: the window station \"Service-0x0-3e7$\" is not visible to a user (no WSF_VISIBLE)"},
        // Flags that cannot be read say nothing against a box: shown as ever.
        {{L"/norestart"}, unreadable, 3010, 1, 0x23,
         "The window station's flags cannot be read (error 5): boxes are shown as usual"},
        // A box that cannot be shown is never silent; the exit code still tells the products' outcome.
        {{}, visible, 0, 0, 0x23, nullptr, 1400},
        {{L"/norestart"}, visible, 3010, 0, 0x23, "Message 301 could not be shown: error 1400; the user was not told",
         1400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        forgetRun();
        station.state = c.station;
        arrange(kRestart, kNone);
        fake::Faults().failEvery.clear();
        if (c.boxError) fake::Faults().failEvery["showBox"] = c.boxError;
        EXPECT_EQ(run(c.args), c.exitCode);
        EXPECT_EQ(boxes.shown.size(), c.boxes);
        EXPECT_EQ(installer.configures.empty() ? 0 : installer.configures[0].uiLevel, c.uiLevel);
        // The report is its box: nothing of it is done either.
        if (c.args == std::vector<std::wstring>{L"/i"}) EXPECT_TRUE(installer.openedPaths.empty() && files.files.empty());
        if (c.logged) EXPECT_TRUE(has(onlyLog(), c.logged)) << c.logged;
        // Without a log, the run's record tells what the user was not told.
        if (c.boxError && c.args.empty()) {
            forgetRun();
            arrange(kRestart, kNone);
            const RunRecord::Entry last = RunPatches().entries.back();
            EXPECT_TRUE(last.event == RunEvent::MessageNotShown && last.code == 1400 && last.message == 301);
        }
    }
}

TEST_F(RunLogTest, PropertiesReachEveryConfigureCallOrARefusalEndsTheRunFirst) {
    struct Case {
        std::vector<std::wstring> args;
        int exitCode;
        std::wstring tail;  // of both configure calls' command lines; empty: no call
        std::vector<std::wstring> boxes;
        const char* logged;
        const char* neverLogged;  // anywhere in the own log
    } cases[] = {
        // Values stay out of the own log, but for the installer's own settings.
        {{L"/quiet", L"MSIRESTARTMANAGERCONTROL=Disable", L"NOTE=say \"hi\""}, 0,
         L"in use:\" MSIRESTARTMANAGERCONTROL=\"Disable\" NOTE=\"say \"\"hi\"\"\"", {},
         "Property NOTE (a value of 8 characters) for every configure call", "say"},
        {{L"/quiet", L"MSIRESTARTMANAGERCONTROL=Disable", L"SERVICEPASSWORD=s3cr3t"}, 0, L"SERVICEPASSWORD=\"s3cr3t\"", {},
         "MSIRESTARTMANAGERCONTROL=\"Disable\" SERVICEPASSWORD (a value of 6 characters)\", installer log", "s3cr3t"},
        // A private property is let be, and its value kept out of the log all the same.
        {{L"/quiet", L"pw=hunter2"}, 0, L"in use:\"", {}, "command line: \"C:\\Downloads\\Update Kit.exe\" /quiet \"pw (a value of 7", "hunter2"},
        {{L"/quiet", L"A=1", L"PATCH=C:\\x.msp"}, 87, L"", {},
         "Property \"PATCH\" refused: PATCH names the patch package, which the update passes itself", "x.msp"},
        {{L"REBOOT=Force", L"/norestart"}, 87, L"", {L"en300 87"}, "refused: /norestart sets REBOOT=ReallySuppress",
         nullptr},
        // Without a deployment switch: ignored, whatever they are.
        {{L"PATCH=C:\\x.msp", L"MSIFASTINSTALL=7"}, 0, L"in use:\"", {L"en301 P"}, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        forgetRun();
        arrange(kApplied, kApplied);
        EXPECT_EQ(run(c.args), c.exitCode);
        EXPECT_EQ(installer.configures.size(), c.tail.empty() ? 0u : 2u);
        for (const auto& call : installer.configures) EXPECT_TRUE(EndsWith(call.commandLine, c.tail));
        EXPECT_EQ(installer.openedPaths.empty(), c.tail.empty());  // refused before any package is read
        EXPECT_EQ(texts(), c.boxes);
        if (c.logged) EXPECT_TRUE(has(onlyLog(), c.logged)) << c.logged;
        if (c.neverLogged) EXPECT_FALSE(has(onlyLog(), c.neverLogged)) << c.neverLogged;
    }
}

TEST_F(RunLogTest, CheckTellsWhatARunWouldDoAndDoesNothing) {
    struct Case {
        PackageState global, languagePack;
        int exitCode;
    } cases[] = {
        {kApplied, kNone, 1}, {kCurrent, kCurrent, 0}, {kCurrent, kApplied, 1}, {kApplied, kOld, 1},
        {kCurrent, kOld, 1642}, {kNone, kAbsent, 1642}, {kNone, kNone, 1814},
        // 307 and 308 end the run before the language pack, as a patch run does.
        {kAbsent, kApplied, 1642}, {kOld, kApplied, 1642},
        {kFails, kRestart, 1},  // no configure call: its result plays no part
        {kCurrent, kAbsent, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        files.files.clear();
        arrange(c.global, c.languagePack);
        EXPECT_EQ(run({L"/check"}), c.exitCode);
        EXPECT_TRUE(installer.configures.empty() && installer.logs.empty() && boxes.shown.empty());
        EXPECT_EQ(files.files.size(), 1u);  // the own log, and nothing else
        const auto log = onlyLog();
        EXPECT_EQ(has(log, "Check only: no configure call for "), c.exitCode == 1);
        EXPECT_TRUE(has(log, "No restart is pending"));
        EXPECT_FALSE(has(log, "Message 301") || has(log, "Message 306"));
        // A language pack without products is named, whatever the exit code.
        if (c.languagePack.carried && !c.languagePack.installed) {
            EXPECT_TRUE(has(log, "Package IDR_MSP_LP: no product it targets is installed"));
        }
    }
}

TEST_F(RunLogTest, OwnLogNamesThePatchAndWhatIsRegisteredForItBeforeAndAfter) {
    const std::wstring patch = L"{DDDDDDDD-0000-0000-0000-000000000004}";
    const std::string p(patch.begin(), patch.end()), a(kA.begin(), kA.end()), b(kB.begin(), kB.end());
    struct Case {
        std::vector<std::wstring> args;
        std::wstring revNumber;
        std::wstring stateOfB;  // registered on B before the run
        std::wstring removable;  // what Windows Installer says of the patch once applied
        std::vector<std::string> logged, absent;
    } cases[] = {
        {{L"/quiet"}, patch + L"{EEEEEEEE-0000-0000-0000-000000000005}", L"2", L"1",
         {"Package IDR_MSP: patch code " + p, "Patch " + p + " on " + a + " before the run: not registered",
          "Patch " + p + " on " + b + " before the run: superseded",
          "Patch " + p + " on " + a + " after the run: applied; removed with: msiexec /package " + a + " /uninstall " +
              p + " /qn",
          "Patch " + p + " on " + b + " after the run: superseded"},
         {"on " + b + " after the run: superseded;"}},
        {{L"/norestart"}, patch, L"", L"0",
         {"on " + a + " after the run: applied; not removable: it was built so, and \"msiexec /package " + a}, {}},
        {{L"/log", L"C:\\Temp\\r.log"}, patch, L"", L"",
         {"applied; removed with: msiexec /package " + a + " /uninstall " + p +
          " /qn (Windows Installer removes only patches built removable)"}, {}},
        {{L"/check"}, patch, L"8", L"",
         {"Patch " + p + " on " + b + " now: registered, not applied"}, {"after the run", "before the run"}},
        {{L"/quiet"}, L"1.0", L"", L"", {"Package IDR_MSP: no patch code (Revision Number), error 4316"}, {"Patch "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        files.files.clear();
        carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
        installer.packagesByContent["package IDR_MSP"].properties[9].text = c.revNumber;
        install(kA, L"1.0.0.0", L"A");
        install(kB, L"2.0.0.0", L"B");
        if (!c.stateOfB.empty()) installer.products[kB].patchInfo[patch][L"State"] = c.stateOfB;
        if (!c.removable.empty()) installer.products[kA].patchInfo[patch][L"Uninstallable"] = c.removable;
        installer.appliedPatch = patch;
        installer.patchContexts.clear();
        run(c.args);
        const auto log = onlyLog();
        for (const auto& part : c.logged) EXPECT_TRUE(has(log, part)) << part;
        for (const auto& part : c.absent) EXPECT_FALSE(has(log, part)) << part;
        // A patch not registered per machine is looked for per user, managed and unmanaged.
        if (&c == cases) EXPECT_EQ(installer.patchContexts, (std::vector<std::uint32_t>{4, 1, 2, 4, 4, 4, 4}));
    }
}

}  // namespace

namespace {

const std::wstring kSessionManager = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const std::wstring kServicing = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending";

// Every line of a log of "/cmtrace", read with the format's pattern as viewers read it: its text and type.
std::vector<std::pair<std::string, int>> CmtraceLines(const std::string& content) {
    static const std::regex pattern(
        R"re(<!\[LOG\[(.*?)\]LOG\]!><time="21:46:09\.007-060" date="12-08-2026" component="msp-bootstrap" )re"
        R"re(context="CONTOSO\\admin" type="([123])" thread="4242" file="">)re");
    std::vector<std::pair<std::string, int>> lines;
    EXPECT_EQ(content.substr(0, 3), "\xEF\xBB\xBF");
    for (std::size_t start = 3, end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::smatch match;
        const std::string line = content.substr(start, end - start);
        EXPECT_TRUE(std::regex_match(line, match, pattern)) << line;
        if (!match.empty()) lines.emplace_back(match[1], std::stoi(match[2]));
    }
    return lines;
}

TEST_F(RunLogTest, CmtraceLinesReadWithTheFormatsPatternAndTellFailuresAndWarnings) {
    files.folders.insert(L"D:\\logs");
    clock.now.biasMinutes = -60;  // UTC+1
    carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"P");
    install(kB, L"1.0.0.0", L"Q");
    installer.configureResults = {{kA, 3010}, {kB, 1603}};
    registry.entries[{kServicing, L""}].presence = platform::RegistryPresence::Present;
    // An argument the scan ignores, holding the end of a line's text: the log names it.
    EXPECT_EQ(run({L"/quiet", L"/CMTrace", L"/log", L"D:\\logs\\run.log", L"SECRET=x", L"a]LOG]!>b"}), 1603);
    const std::map<std::string, int> typed{
        {"Property SECRET (a value of 1 character)", 2},
        {"Package IDR_MSP: no patch code (Revision Number)", 2},
        {"A restart is pending from before this run: servicing", 2},
        {"Configure call for " + std::string(kB.begin(), kB.end()) + " returned 1603", 3},
        {"Message 300 suppressed: en300 1603", 3},
        {"A restart is still needed: a configure call answered 3010, which exit code 1603", 2},
        {"Exit code 1603", 3},
    };
    std::size_t found = 0;
    const auto lines = CmtraceLines(files.files[L"D:\\logs\\run.log"]);
    for (const auto& [text, type] : lines) {
        int expected = 1;
        for (const auto& [part, partType] : typed) {
            if (text.find(part) != std::string::npos) expected = partType, ++found;
        }
        EXPECT_EQ(type, expected) << text;
    }
    EXPECT_EQ(found, typed.size());
    EXPECT_NE(lines.at(0).first.find(" a]LOG]! >b"), std::string::npos);
    EXPECT_EQ(lines.back().first, "Exit code 1603");
}

TEST(CmtraceLine, TheBiasAsWindowsCountsItAndNoTextEndsALineEarly) {
    platform::LocalTime t{2027, 1, 2, 3, 4, 5, 6};
    for (auto [bias, written] : {std::pair<int, const wchar_t*>{0, L"+000"}, {300, L"+300"}, {-330, L"-330"}}) {
        t.biasMinutes = static_cast<std::int16_t>(bias);
        EXPECT_EQ(CmtraceLine(L"]LOG]!>]LOG]!>", LogSeverity::Warning, t, L"NT AUTHORITY\\SYSTEM", 7),
                  L"<![LOG[]LOG]! >]LOG]! >]LOG]!><time=\"03:04:05.006" + std::wstring(written) +
                      L"\" date=\"01-02-2027\" component=\"msp-bootstrap\" context=\"NT AUTHORITY\\SYSTEM\" type=\"2\" "
                      L"thread=\"7\" file=\"\">");
    }
}

TEST_F(PlatformTest, APendingRestartIsToldForEachReasonAndAPlaceThatCannotBeRead) {
    using platform::RegistryPresence;
    const std::wstring update =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired";
    const std::wstring renames = L"PendingFileRenameOperations";
    // Pairs of a file and its new name; an empty one deletes the file.
    const std::vector<std::wstring> pairs{L"\\??\\C:\\a.dll", L"", L"\\??\\C:\\b.tmp", L"!\\??\\C:\\b.dll"};
    struct Case {
        std::wstring key, value;
        platform::RegistryEntry entry;
        bool warning;
        std::wstring line;
    } cases[] = {
        {kSessionManager, renames, {RegistryPresence::Present, 0, pairs}, true,
         L"files wait to be renamed or deleted at the next start of the system (HKLM\\SYSTEM\\CurrentControlSet"
             L"\\Control\\Session Manager value PendingFileRenameOperations: files 2, the first \"\\??\\C:\\a.dll\")"},
        {kSessionManager, renames, {RegistryPresence::Present, 0, {}}, false, L"No restart is pending"},
        {kServicing, L"", {RegistryPresence::Present, 0, {}}, true,
         L"servicing (Component Based Servicing) waits for a restart (HKLM\\" + kServicing + L")"},
        {kServicing, L"", {RegistryPresence::Unreadable, 5, {}}, true,
         L"Whether a restart is pending is not known: HKLM\\" + kServicing + L" cannot be read (error 5)"},
        {update, L"", {RegistryPresence::Present, 0, {}}, true, L"Windows Update waits for a restart (HKLM\\" + update},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        registry.entries = {{{c.key, c.value}, c.entry}};
        const std::vector<RestartLine> lines = PendingRestartLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].warning, c.warning);
        EXPECT_NE(lines[0].text.find(c.line), std::wstring::npos)
            << std::string(lines[0].text.begin(), lines[0].text.end());
    }
}

}  // namespace
