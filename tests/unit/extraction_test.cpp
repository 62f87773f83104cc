// Writing embedded packages to files, and the folder for log files.
#include <gtest/gtest.h>

#include <functional>

#include "app/entry_point.h"
#include "app/switches.h"
#include "fixtures.h"
#include "package/extraction.h"
#include "platform/existing_files.h"

namespace {

class ExtractionTest : public PlatformTest {
protected:
    ExtractionTest() {
        resources.packages[L"IDR_MSP"] = std::string("global\0package\r\n\x1a\xff", 19);
        resources.packages[L"IDR_MSP_LP"] = "language pack";
        for (std::uint16_t lang : {1033, 1031, 1041}) {
            resources.addString(lang, 316, L"_glob");
            resources.addString(lang, 317, L"_lp");
        }
        files.folders.insert(L"C:\\out");
    }
};

TEST_F(ExtractionTest, WritesThePatternsNamesByteForByte) {
    std::wstring path = L"C:\\out\\pkg.msp";
    EXPECT_TRUE(ExtractPackage(path, L"IDR_MSP", 316));
    EXPECT_EQ(path, L"C:\\out\\pkg_glob.msp");
    EXPECT_EQ(files.files[path], resources.packages[L"IDR_MSP"]);

    path = L"C:\\out\\pkg.msp";
    EXPECT_TRUE(ExtractPackage(path, L"IDR_MSP_LP", 317));
    EXPECT_EQ(path, L"C:\\out\\pkg_lp.msp");
    EXPECT_EQ(files.files[path], "language pack");
}

TEST_F(ExtractionTest, ReplacesAFileTheUserNamed) {
    files.files[L"C:\\out\\pkg_glob.msp"] = "an older, longer file of that name";
    std::wstring path = L"C:\\out\\pkg.msp";
    EXPECT_TRUE(ExtractPackage(path, L"IDR_MSP", 316));
    EXPECT_EQ(files.files[path], resources.packages[L"IDR_MSP"]);
}

TEST_F(ExtractionTest, ReplacesALinkOrAFileOfSeveralNamesNeverWritingThroughIt) {
    const std::wstring target = L"C:\\out\\pkg_glob.msp";
    platform::ExistingFile twoNames, foreign;
    twoNames.linkCount = 2;
    foreign.ownerTrusted = false;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool written;  // false: nothing written, error 5
    } cases[] = {
        {"a link", [&] { files.links[target] = L"C:\\Windows\\system.ini"; }, true},
        {"a file with a second name", [&] { files.files[target] = "x"; files.looks[target] = twoNames; }, true},
        {"a foreign owner's file, elevated",
         [&] { files.files[target] = "x"; files.looks[target] = foreign; files.elevated = true; }, true},
        {"a link that cannot be deleted",
         [&] { files.links[target] = L"C:\\Windows\\system.ini"; files.undeletable.insert(target); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files.files = {{L"C:\\Windows\\system.ini", "system"}};
        files.links.clear();
        files.looks.clear();
        files.undeletable.clear();
        files.openedExisting.clear();
        files.elevated = false;
        c.arrange();
        std::wstring path = L"C:\\out\\pkg.msp";
        EXPECT_EQ(ExtractPackage(path, L"IDR_MSP", 316), c.written);
        EXPECT_EQ(files.files[L"C:\\Windows\\system.ini"], "system");
        EXPECT_TRUE(files.openedExisting.empty());
        if (c.written) {
            EXPECT_EQ(files.links.count(target), 0u);
            EXPECT_EQ(files.files[target], resources.packages[L"IDR_MSP"]);
        } else {
            EXPECT_EQ(thread.error, 5u);
        }
    }
}

TEST_F(ExtractionTest, MissingOrEmptyResourceCreatesNoFileButNamesIt) {
    resources.packages.erase(L"IDR_MSP_LP");
    std::wstring path = L"C:\\out\\pkg.msp";
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP_LP", 317));
    EXPECT_EQ(path, L"C:\\out\\pkg_lp.msp");

    resources.packages[L"IDR_MSP_LP"] = "";
    std::wstring temp;
    EXPECT_FALSE(ExtractPackage(temp, L"IDR_MSP_LP", 0));
    EXPECT_EQ(temp.rfind(L"C:\\Temp\\MSP", 0), 0u);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ExtractionTest, FailedCreateOrShortWriteLeavesNoPackage) {
    fake::Faults().failEvery["createFile"] = 5;
    std::wstring path = L"C:\\out\\pkg.msp";
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 316));
    EXPECT_EQ(path, L"C:\\out\\pkg_glob.msp");

    fake::Faults().failEvery.clear();
    files.writeLimit = 4;
    path = L"C:\\out\\pkg.msp";
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 316));
    EXPECT_EQ(files.files.count(L"C:\\out\\pkg_glob.msp"), 0u);
}

TEST_F(ExtractionTest, FailuresLeaveTheReasonAsTheLastError) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::wstring path;
        std::uint32_t error;
    } cases[] = {
        {"resource missing", [this] { resources.packages.erase(L"IDR_MSP"); }, L"", 1814},
        {"resource empty", [this] { resources.packages[L"IDR_MSP"] = ""; }, L"", 1812},
        {"name beyond the limits", [] {}, L"C:\\out\\" + std::wstring(300, L'x'), 206},
        {"temporary folder too long",
         [this] { files.folders.insert(*(files.temp = L"C:\\" + std::wstring(1100, L't'))); }, L"", 206},
        {"no temporary folder, system says why", [] { fake::Faults().failEvery["tempFolder"] = 5; }, L"", 5},
        {"cannot create, system says why", [] { fake::Faults().failEvery["createFile"] = 112; }, L"", 112},
        {"cannot create, system silent", [] { fake::Faults().failEvery["createFile"] = 0; }, L"", 82},
        {"short write", [this] { files.writeLimit = 3; }, L"", 29},
        // Elevated, no copy where the user's TEMP is not shown to be the user's, nor anywhere else.
        {"elevated, TEMP outside the user's profile", [this] { files.elevated = true; }, L"", 5},
        {"elevated, TEMP on a network drive",
         [this] { files.elevated = true, files.networkFolders = {L"C:\\Temp"}; }, L"", 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::Faults().failEvery.clear();
        c.arrange();
        std::wstring path = c.path;
        EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 316));
        EXPECT_EQ(thread.error, c.error);
        // Back to a working setup for the next case.
        resources.packages[L"IDR_MSP"] = "global";
        files = fake::FileSystem();
    }
}

TEST_F(ExtractionTest, PatternBeyondTheLimitsWritesNothing) {
    std::wstring path = L"C:\\out\\" + std::wstring(5000, L'x') + L".msp";
    const std::wstring given = path;
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 316));
    EXPECT_EQ(path, given);
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ExtractionTest, TemporaryFilesGetNewNumberedNames) {
    std::wstring first, second;
    ASSERT_TRUE(ExtractPackage(first, L"IDR_MSP", 0));
    ASSERT_TRUE(ExtractPackage(second, L"IDR_MSP_LP", 0));
    EXPECT_NE(first, second);
    for (const std::wstring& name : {first, second}) {
        EXPECT_EQ(name.rfind(L"C:\\Temp\\MSP", 0), 0u);
        const std::wstring number = name.substr(11);
        ASSERT_FALSE(number.empty());
        EXPECT_EQ(number.find_first_not_of(L"0123456789"), std::wstring::npos) << "no extension: " << number.size();
    }
    EXPECT_EQ(files.files[first], resources.packages[L"IDR_MSP"]);
    EXPECT_EQ(files.files[second], "language pack");

    // A temporary folder without its separator gets one.
    files.temp = L"D:\\T";
    files.folders.insert(L"D:\\T");
    std::wstring third;
    ASSERT_TRUE(ExtractPackage(third, L"IDR_MSP", 0));
    EXPECT_EQ(third.rfind(L"D:\\T\\MSP", 0), 0u);
}

TEST_F(ExtractionTest, NeverOpensAFileSomeoneElsePutInTheTemporaryFolder) {
    // Find out which numbers come next, then plant files under them: one that
    // exists already, and one that appears between the test and the create.
    std::wstring probe;
    ASSERT_TRUE(ExtractPackage(probe, L"IDR_MSP", 0));
    const unsigned next = std::stoul(probe.substr(11)) + 1;
    const std::wstring planted = L"C:\\Temp\\MSP" + std::to_wstring(next);
    const std::wstring raced = L"C:\\Temp\\MSP" + std::to_wstring(next + 1);
    files.files[planted] = "planted";
    files.raceOnce.insert(raced);

    std::wstring path;
    ASSERT_TRUE(ExtractPackage(path, L"IDR_MSP", 0));
    EXPECT_NE(path, planted);
    EXPECT_NE(path, raced);
    EXPECT_EQ(files.files[planted], "planted");
    EXPECT_EQ(files.files[raced], "someone else's file");
    EXPECT_TRUE(files.openedExisting.empty());
    EXPECT_EQ(files.files[path], resources.packages[L"IDR_MSP"]);
}

TEST_F(ExtractionTest, TemporaryFolderThatIsMissingOrTooLongFails) {
    files.temp.reset();
    std::wstring path;
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 0));
    EXPECT_TRUE(path.empty());

    files.temp = L"C:\\" + std::wstring(1021, L't');  // 1024 characters
    EXPECT_FALSE(ExtractPackage(path, L"IDR_MSP", 0));
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(files.files.empty());
}

TEST_F(ExtractionTest, ExtractModeGivesEachPackageThePatternAsTyped) {
    arguments.arguments = {L"update.exe", L"/e", L"C:\\out\\pkg.msp"};
    EXPECT_EQ(RunEntryPoint(ModuleInstance), 0);
    EXPECT_EQ(files.files.size(), 2u);
    EXPECT_EQ(files.files[L"C:\\out\\pkg_glob.msp"], resources.packages[L"IDR_MSP"]);
    EXPECT_EQ(files.files[L"C:\\out\\pkg_lp.msp"], "language pack");
}

TEST_F(ExtractionTest, ExtractModeWithoutLanguagePackWritesTheGlobalOnly) {
    resources.packages.erase(L"IDR_MSP_LP");
    arguments.arguments = {L"update.exe", L"/e", L"C:\\out\\pkg.msp"};
    EXPECT_EQ(RunEntryPoint(ModuleInstance), 0);
    EXPECT_EQ(files.files.size(), 1u);
    EXPECT_EQ(files.files.count(L"C:\\out\\pkg_glob.msp"), 1u);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExtractionTest, NoExtractionOrBoxForPiOrUnusablePaths) {
    for (auto args : std::vector<std::vector<std::wstring>>{
             {L"update.exe", L"/pi"},
             {L"update.exe", L"/e", L"C:\\out\\" + std::wstring(300, L'n') + L".msp"},
         }) {
        arguments.arguments = args;
        EXPECT_EQ(RunEntryPoint(ModuleInstance), 0);
        EXPECT_TRUE(files.files.empty());
        EXPECT_TRUE(boxes.shown.empty());
    }
}

TEST_F(ExtractionTest, DeploymentSwitchesMakeTheFirstWriteErrorTheExitCode) {
    struct Case {
        std::vector<std::wstring> args;
        bool languagePack, failCreate;
        int exitCode;
    } cases[] = {
        {{L"/quiet", L"/e", L"C:\\out\\p.msp"}, true, false, 0},
        {{L"/quiet", L"/e", L"C:\\out\\p.msp"}, false, false, 0},  // a package not carried is no failure
        {{L"/log", L"C:\\l.log", L"/e", L"C:\\out\\p.msp"}, true, true, 5},
        {{L"/e", L"C:\\out\\" + std::wstring(300, L'n') + L".msp", L"/norestart"}, true, false, 206},
        // The first error wins: the global package's name is too long, the language pack's file is refused.
        {{L"/quiet", L"/e", L"C:\\" + std::wstring(251, L'n')}, true, true, 206},
        {{L"/e", L"C:\\out\\p.msp"}, true, true, 0},  // the plain command line always exits with 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        if (c.languagePack) resources.packages[L"IDR_MSP_LP"] = "language pack";
        else resources.packages.erase(L"IDR_MSP_LP");
        fake::Faults().failEvery.clear();
        if (c.failCreate) fake::Faults().failEvery["createFile"] = 5;
        arguments.arguments = {L"update.exe"};
        arguments.arguments.insert(arguments.arguments.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(RunEntryPoint(ModuleInstance), c.exitCode);
    }
}

TEST_F(ExtractionTest, LogFolderIsTheTemporaryFolderWithoutItsSeparator) {
    files.temp = L"C:\\Temp\\";
    files.folders.insert(L"C:\\Temp");
    EXPECT_EQ(PrepareTempFolder(260), L"C:\\Temp");

    // A missing folder is created.
    files.temp = L"C:\\New\\";
    EXPECT_EQ(PrepareTempFolder(260), L"C:\\New");
    EXPECT_EQ(files.folders.count(L"C:\\New"), 1u);

    // A drive root keeps its separator, which the directory search does not
    // find and which cannot be created: the last resort is "c:".
    files.temp = L"E:\\";
    EXPECT_EQ(PrepareTempFolder(260), L"c:");

    // Only a separator, no folder at all, or one that does not fit.
    files.temp = L"\\";
    EXPECT_EQ(PrepareTempFolder(260), L"c:");
    files.temp.reset();
    EXPECT_EQ(PrepareTempFolder(260), L"c:");
    files.temp = L"C:\\" + std::wstring(255, L'x') + L"\\";  // 259 characters: no room in 260 - 1
    files.folders.insert(files.temp->substr(0, 258));
    EXPECT_EQ(PrepareTempFolder(260), L"c:");
    files.temp = L"C:\\" + std::wstring(254, L'x') + L"\\";  // 258 characters: fits
    files.folders.insert(files.temp->substr(0, 257));
    EXPECT_EQ(PrepareTempFolder(260), files.temp->substr(0, 257));
}

}  // namespace

TEST(Links, OnlyNameSurrogateReparsePointsAreLinks) {
    // Junction, symbolic link; a synced folder's placeholder, a deduplicated
    // and a compressed (WOF) file, which are what they hold.
    for (std::uint32_t tag : {0xA0000003u, 0xA000000Cu}) EXPECT_TRUE(platform::IsLinkTag(tag)) << tag;
    for (std::uint32_t tag : {0x9000001Au, 0x9000101Au, 0x80000013u, 0x80000017u}) {
        EXPECT_FALSE(platform::IsLinkTag(tag)) << tag;
    }
}
