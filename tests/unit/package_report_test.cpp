// The information report that "/i" shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/actions.h"
#include "app/entry_point.h"
#include "app/switches.h"
#include "fixtures.h"
#include "report/package_information.h"

namespace {

constexpr std::uint32_t kKeywords = 5;
constexpr std::uint32_t kTemplate = 7;

// A Windows Installer that knows packages by their bytes: whatever temporary
// name a package is extracted to, opening that file finds its summary.
class PackagesByContent : public fake::Installer {
public:
    explicit PackagesByContent(fake::FileSystem& files) : files_(files) {}
    std::map<std::string, fake::Package> byContent;

    std::uint32_t getSummaryInformation(const std::wstring& path, platform::InstallerHandle& handle) override {
        auto file = files_.files.find(path);
        if (file != files_.files.end()) {
            auto package = byContent.find(file->second);
            if (package != byContent.end()) packages[path] = package->second;
        }
        return fake::Installer::getSummaryInformation(path, handle);
    }

private:
    fake::FileSystem& files_;
};

class PackageReportTest : public OsVersionTest {
protected:
    PackageReportTest() : packages(files) {
        services.installer = &packages;
        platform::Install(services);
        // A 64-bit Windows 7 workstation.
        os.report(fake::NtRecord(6, 1, 1, 0, 7601), 9);
    }

    // Carries `bytes` as resource `name`, whose summary holds these texts
    // (nothing: the property is not there).
    void carry(const std::wstring& name, const std::string& bytes, std::optional<std::wstring> templateText,
               std::optional<std::wstring> keywords) {
        resources.packages[name] = bytes;
        fake::Package& package = packages.byContent[bytes];
        package = fake::Package();
        if (templateText) package.properties[kTemplate].text = *templateText;
        else package.properties[kTemplate].result = 1627;
        if (keywords) package.properties[kKeywords].text = *keywords;
        else package.properties[kKeywords].result = 1627;
    }

    std::vector<std::wstring> tempPackages() const {
        std::vector<std::wstring> names;
        for (const auto& file : files.files) {
            if (file.first.rfind(L"C:\\Temp\\MSP", 0) == 0) names.push_back(file.first);
        }
        return names;
    }

    PackagesByContent packages;
};

const std::wstring kSystemLine = L"\nOSInfo:\n\tWindows 7 (6.1.0.0)";

TEST_F(PackageReportTest, GlobalPackageOnly) {
    carry(L"IDR_MSP", "global", L"{11111111-2222-3333-4444-555555555555}", L"1.1.0.0;1.0.0.0,");
    ShowPackageInformation();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              L"Global MSP\n\n"
              L"Products:\n{11111111-2222-3333-4444-555555555555}\n"
              L"Target:\n\t1.0.0.0,\n"
              L"Upgrade:\n\t1.1.0.0\n"
              L"OSInfo:\n\tWindows 7 (6.1.0.0)"
              L"\n\n-----------------------------------------------\n\n"
              L"Language pack MSP\n\n"
              L"Products:\n\nTarget:\n\t\nUpgrade:\n\t\nOSInfo:\n\tWindows 7 (6.1.0.0)");
    EXPECT_EQ(boxes.shown[0].caption, L"Info");
    EXPECT_EQ(boxes.shown[0].style, 0x50030u);
    // Only the carried package left a file, and nobody was asked about products.
    EXPECT_EQ(tempPackages().size(), 1u);
    EXPECT_TRUE(packages.stateQueries.empty());
    EXPECT_TRUE(packages.infoQueries.empty());
    EXPECT_TRUE(packages.configures.empty());
}

TEST_F(PackageReportTest, BothPackagesInTheirOwnSectionsGlobalFirst) {
    carry(L"IDR_MSP", "global", L"{AAAAAAAA-0000-0000-0000-000000000001};{AAAAAAAA-0000-0000-0000-000000000002}",
          L"2.0.0.0;1.0.0.0,1.5.0.0,");
    carry(L"IDR_MSP_LP", "langpack", L"{BBBBBBBB-0000-0000-0000-000000000001}", L"2.0.0.1;1.0.0.1,");
    ShowPackageInformation();

    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              L"Global MSP\n\n"
              L"Products:\n{AAAAAAAA-0000-0000-0000-000000000001}\n{AAAAAAAA-0000-0000-0000-000000000002}\n"
              L"Target:\n\t1.0.0.0,1.5.0.0,\nUpgrade:\n\t2.0.0.0" +
                  kSystemLine +
                  L"\n\n-----------------------------------------------\n\n"
                  L"Language pack MSP\n\n"
                  L"Products:\n{BBBBBBBB-0000-0000-0000-000000000001}\n"
                  L"Target:\n\t1.0.0.1,\nUpgrade:\n\t2.0.0.1" +
                  kSystemLine);
    // The global package is read before the language pack is extracted.
    const std::vector<std::wstring> temp = tempPackages();
    ASSERT_EQ(temp.size(), 2u);
    ASSERT_FALSE(packages.openedPaths.empty());
    EXPECT_EQ(files.files[packages.openedPaths.front()], "global");
    EXPECT_EQ(files.files[packages.openedPaths.back()], "langpack");
    // The system is asked once per section.
    EXPECT_EQ(os.sizesPassed.size(), 2u);
}

struct SectionCase {
    const char* what;
    std::optional<std::wstring> templateText;
    std::optional<std::wstring> keywords;
    std::wstring expected;  // the section up to the system line
};

TEST_F(PackageReportTest, SectionShowsThePackagesTextsAsStored) {
    const SectionCase cases[] = {
        {"three product codes, stored form kept", L"{AAAA-1};{bbbb-2}; {CCCC-3} ", L"2.0;1.0,",
         L"Products:\n{AAAA-1}\n{bbbb-2}\n {CCCC-3} \nTarget:\n\t1.0,\nUpgrade:\n\t2.0"},
        {"U;T1,T2,", L"{P}", L"U;T1,T2,", L"Products:\n{P}\nTarget:\n\tT1,T2,\nUpgrade:\n\tU"},
        {"a second ; stays in the target line", L"{P}", L"3.0.0.0;1.0.0.0;2.0.0.0,",
         L"Products:\n{P}\nTarget:\n\t1.0.0.0;2.0.0.0,\nUpgrade:\n\t3.0.0.0"},
        {"empty target part", L"{P}", L"3.0;", L"Products:\n{P}\nTarget:\n\t\nUpgrade:\n\t3.0"},
        {"empty Template", L"", L"2.0;1.0,", L"Products:\n\nTarget:\n\t1.0,\nUpgrade:\n\t2.0"},
        {"no Template property", std::nullopt, L"2.0;1.0,", L"Products:\n\nTarget:\n\t1.0,\nUpgrade:\n\t2.0"},
        {"Keywords without ;", L"{P};{Q}", L"2.0", L"Products:\n{P}\n{Q}\nTarget:\n\t\nUpgrade:\n\t"},
        {"Keywords beginning with ;", L"{P}", L";1.0,", L"Products:\n{P}\nTarget:\n\t\nUpgrade:\n\t"},
        {"no Keywords property", L"{P}", std::nullopt, L"Products:\n{P}\nTarget:\n\t\nUpgrade:\n\t"},
        {"trailing ; gives an empty last line", L"{P};", L"2.0;1.0,",
         L"Products:\n{P}\n\nTarget:\n\t1.0,\nUpgrade:\n\t2.0"},
    };
    for (const SectionCase& c : cases) {
        SCOPED_TRACE(c.what);
        carry(L"IDR_MSP", c.what, c.templateText, c.keywords);
        EXPECT_EQ(DescribePackage(L"IDR_MSP"), c.expected + kSystemLine);
    }
}

TEST_F(PackageReportTest, UnusablePackagesGiveEmptyLines) {
    const std::wstring empty = L"Products:\n\nTarget:\n\t\nUpgrade:\n\t" + kSystemLine;

    // Not in the executable: no file, nothing read.
    EXPECT_EQ(DescribePackage(L"IDR_MSP_LP"), empty);
    EXPECT_TRUE(files.files.empty());
    EXPECT_TRUE(packages.openedPaths.empty());

    // Written, but not a package Windows Installer can open.
    resources.packages[L"IDR_MSP"] = "not a package";
    EXPECT_EQ(DescribePackage(L"IDR_MSP"), empty);
    EXPECT_EQ(packages.openedPaths.size(), 2u);  // once per property

    // Not written: the name it would have had is never opened.
    packages.openedPaths.clear();
    carry(L"IDR_MSP", "global", L"{P}", L"2.0;1.0,");
    fake::Faults().failEvery["createFile"] = 5;
    EXPECT_EQ(DescribePackage(L"IDR_MSP"), empty);
    fake::Faults().failEvery.clear();
    files.writeLimit = 3;
    EXPECT_EQ(DescribePackage(L"IDR_MSP"), empty);
    EXPECT_TRUE(packages.openedPaths.empty());
}

TEST_F(PackageReportTest, UnreadableSystemShowsTheStartingValues) {
    carry(L"IDR_MSP", "global", L"{P}", L"2.0;1.0,");
    os.extended.reset();
    os.plain.reset();
    EXPECT_EQ(DescribePackage(L"IDR_MSP"), L"Products:\n{P}\nTarget:\n\t1.0,\nUpgrade:\n\t2.0\nOSInfo:\n\tWindows(0.0.0.0)");

    platform::OsVersionRecord record = fake::NtRecord(10, 0, 1);
    record.platformId = 1;
    os.report(record, 0);
    EXPECT_EQ(DescribePackage(L"IDR_MSP"), L"Products:\n{P}\nTarget:\n\t1.0,\nUpgrade:\n\t2.0\nOSInfo:\n\tWindows(0.0.0.0)");
}

TEST_F(PackageReportTest, EveryShowingLeavesOneMoreFilePerCarriedPackage) {
    carry(L"IDR_MSP", "global", L"{P}", L"2.0;1.0,");
    carry(L"IDR_MSP_LP", "langpack", L"{Q}", L"2.0;1.0,");
    ShowPackageInformation();
    EXPECT_EQ(tempPackages().size(), 2u);
    ShowPackageInformation();
    const std::vector<std::wstring> temp = tempPackages();
    ASSERT_EQ(temp.size(), 4u);
    EXPECT_EQ(std::count_if(temp.begin(), temp.end(), [&](const std::wstring& p) { return files.files[p] == "global"; }),
              2);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].text, boxes.shown[1].text);
}

TEST_F(PackageReportTest, CommandLinesThatShowTheReport) {
    struct Case {
        const char* what;
        std::vector<std::wstring> args;
        bool extracted;
    } cases[] = {
        {"/i", {L"/i"}, false},
        {"/I under /q", {L"/q", L"/I"}, false},
        {"/e path /i: extraction, then the report", {L"/e", L"C:\\out\\pkg.msp", L"/i"}, true},
        {"/i /e path: the report only", {L"/i", L"/e", L"C:\\out\\pkg.msp"}, false},
        {"/i under /quiet and /log: exit code 0", {L"/quiet", L"/log", L"C:\\out\\r.log", L"/i"}, false},
    };
    resources.addString(1033, 316, L"_glob");
    resources.addString(1033, 317, L"_lp");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.files.clear();
        files.folders = {L"C:\\out", L"C:\\Temp"};
        boxes.shown.clear();
        carry(L"IDR_MSP", "global", L"{P}", L"2.0;1.0,");
        arguments.arguments = {L"update.exe"};
        arguments.arguments.insert(arguments.arguments.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(RunEntryPoint(ModuleInstance), 0);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].caption, L"Info");
        EXPECT_NE(boxes.shown[0].text.find(L"Products:\n{P}\n"), std::wstring::npos);
        EXPECT_EQ(files.files.count(L"C:\\out\\pkg_glob.msp"), c.extracted ? 1u : 0u);
        EXPECT_EQ(tempPackages().size(), 1u);
    }
}

}  // namespace
