// Install mode on the substitutes: which products are patched, what is asked
// of Windows Installer, and which boxes the user sees.
#include <gtest/gtest.h>

#include <functional>

#include "app/actions.h"
#include "app/patch_run.h"
#include "app/switches.h"
#include "fixtures.h"
#include "ui/messages.h"

namespace {

constexpr std::uint32_t kKeywords = 5;
constexpr std::uint32_t kTemplate = 7;
const std::wstring kA = L"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::wstring kB = L"{BBBBBBBB-0000-0000-0000-000000000002}";
const std::wstring kC = L"{CCCCCCCC-0000-0000-0000-000000000003}";

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

    // No package file is left in the temporary folder.
    void expectNoPackageLeft() {
        for (const auto& [path, content] : files.files) {
            EXPECT_NE(path.rfind(L"C:\\Temp\\MSP", 0), 0u) << "left behind: " << std::string(path.begin(), path.end());
        }
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
    } cases[] = {
        {"global applied, no language pack", L"1.0.0.0", nullptr, {L"en301 Global"}},
        {"global up to date, no language pack", L"2.0.0.0", nullptr, {L"en306 Global"}},
        {"both applied", L"1.0.0.0", L"1.0.0.0", {L"en301 Global"}},
        {"global applied, language pack up to date", L"1.0.0.0", L"2.0.0.0", {L"en301 Global"}},
        {"global up to date, language pack applied", L"2.0.0.0", L"1.0.0.0", {L"en301 Global"}},
        {"both up to date", L"2.0.0.0", L"2.0.0.0", {L"en306 Global"}},
        {"language pack does not fit", L"1.0.0.0", L"1.7.0.0", {L"en308 Global"}},
        {"global does not fit: the language pack is not run", L"1.7.0.0", L"1.0.0.0", {L"en308 Global"}},
        {"only a language pack", nullptr, L"1.0.0.0", {L"en301 "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resources.packages.clear();
        installer.products.clear();
        installer.configures.clear();
        boxes.shown.clear();
        DisplayedProductName.clear();
        if (c.globalInstalled) {
            carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
            install(kA, c.globalInstalled, L"Global");
        }
        if (c.langpackInstalled) {
            carry(L"IDR_MSP_LP", kB, L"2.0.0.0;1.0.0.0,");
            install(kB, c.langpackInstalled, L"Language Pack");
        }
        RunPatches();
        EXPECT_EQ(texts(), c.boxes);
        // The language pack's run never changes the name in the messages.
        if (c.globalInstalled) EXPECT_EQ(DisplayedProductName, L"Global");
        else EXPECT_EQ(DisplayedProductName, L"");
        expectNoPackageLeft();
    }
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

TEST_F(PatchRunTest, EarlyEndLeavesLaterTargetsAlone) {
    carry(L"IDR_MSP", kA + L";" + kB + L";" + kC, L"2.0.0.0;1.0.0.0,2.0.0.0,3.0.0.0,");
    install(kA, L"1.0.0.0", L"First");
    install(kB, L"3.0.0.0", L"Second", L"1031");
    install(kC, L"1.0.0.0", L"Third");
    EXPECT_EQ(RunPatchPackage(L"IDR_MSP", 300, true), PackageOutcome::UpToDate);
    EXPECT_EQ(configured(), std::vector<std::wstring>{kA});
    EXPECT_EQ(thread.locale, 1031u);  // the locale of the target where the run ended
    EXPECT_EQ(DisplayedProductName, L"Second");
    expectNoPackageLeft();
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
    EXPECT_EQ(RunPatchPackage(L"IDR_MSP", 300, true), PackageOutcome::Applied);
    EXPECT_EQ(configured(), (std::vector<std::wstring>{kA, kB}));
    // Both share one log path; the later log replaces the earlier.
    EXPECT_EQ(installer.logs, (std::vector<std::wstring>(2, L"C:\\Temp\\Same Name R2.log")));
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
        EXPECT_EQ(RunPatchPackage(L"IDR_MSP", 300, true), PackageOutcome::Applied) << result;
        EXPECT_TRUE(boxes.shown.empty());
    }
    installer.configureResult = 1605;
    EXPECT_EQ(RunPatchPackage(L"IDR_MSP", 300, true), PackageOutcome::Failed);
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
             files.failCreate = true;
             thread.error = 5;  // what the system says: access denied
         },
         L"en300 5"},
        {"no package at all", [] {}, L"en300 1814"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        resources.packages.clear();
        installer.packagesByContent.clear();
        installer.packages.clear();
        installer.configures.clear();
        files.failCreate = false;
        boxes.shown.clear();
        install(kA, L"1.0.0.0", L"A");
        carry(L"IDR_MSP_LP", kA, L"2.0.0.0;1.0.0.0,");  // never reached after a failed global run
        resources.packages.erase(L"IDR_MSP_LP");
        if (std::string(c.what) != "no package at all") carry(L"IDR_MSP_LP", kA, L"2.0.0.0;1.0.0.0,");
        c.arrange();
        RunPatches();
        EXPECT_EQ(texts(), std::vector<std::wstring>{c.box});
        EXPECT_TRUE(installer.configures.empty());
        expectNoPackageLeft();
    }
}

TEST_F(PatchRunTest, QuietModeDecidesAlikeAndShowsNothing) {
    QuietMode = true;
    carry(L"IDR_MSP", kA + L";" + kB, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", L"A");
    install(kB, L"1.7.0.0", L"B");
    installer.configureResult = 1603;
    RunPatches();
    EXPECT_EQ(configured(), std::vector<std::wstring>{kA});
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(LogFileNames, KeepEveryProductsLogInTheLogFolder) {
    EXPECT_EQ(LogFilePath(L"C:\\Temp", L"Example Product"), L"C:\\Temp\\Example Product R2.log");
    EXPECT_EQ(LogFilePath(L"c:", L"A/B: \"Pro\" <x64>|*?\\"), L"c:\\A_B_ _Pro_ _x64_____ R2.log");
    EXPECT_EQ(LogFilePath(L"C:\\Temp", L"Line\nBreak"), L"C:\\Temp\\Line_Break R2.log");
    // 259 characters fit; one more and there is no log rather than a cut name.
    const std::wstring folder = L"C:\\Temp";
    const std::wstring longest(259 - folder.size() - 1 - 7, L'n');
    EXPECT_EQ(LogFilePath(folder, longest).size(), 259u);
    EXPECT_EQ(LogFilePath(folder, longest + L"n"), L"");
    EXPECT_EQ(LogFilePath(folder, std::wstring(10000, L'n')), L"");
}

TEST_F(PatchRunTest, ProductWithoutRoomForItsLogIsStillPatched) {
    carry(L"IDR_MSP", kA, L"2.0.0.0;1.0.0.0,");
    install(kA, L"1.0.0.0", std::wstring(1000, L'N'));  // fits the 1024-character query
    RunPatches();
    EXPECT_TRUE(installer.logs.empty());
    EXPECT_EQ(configured(), std::vector<std::wstring>{kA});
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_LE(boxes.shown[0].text.size(), std::wstring(L"en301 %s").size() + 511u);  // cut, not overrun
}

}  // namespace
