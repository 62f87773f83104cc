// Reading target product codes and versions from a package's summary information.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "package/summary_information.h"

namespace {

constexpr std::uint32_t kKeywords = 5;
constexpr std::uint32_t kTemplate = 7;
const std::wstring kPackage = L"C:\\Temp\\MSP1";

class SummaryTest : public InstallerTest {
protected:
    void setProperty(std::uint32_t id, const std::wstring& text) {
        installer.packages[kPackage].properties[id].text = text;
    }
    fake::SummaryProperty& property(std::uint32_t id) { return installer.packages[kPackage].properties[id]; }
    // Every handle that was opened was closed exactly once.
    void expectClosedOnce() {
        EXPECT_EQ(installer.closed.size(), static_cast<std::size_t>(installer.opened));
        std::vector<platform::InstallerHandle> sorted = installer.closed;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    }
};

TEST_F(SummaryTest, TemplateIsReadInOneCallOrRetriedOnceWithTheExactLength) {
    for (std::size_t length : {0u, 38u, 2047u, 2048u, 2049u, 5000u}) {
        SCOPED_TRACE(length);
        installer.reads.clear();
        std::wstring text(length, L'C');
        setProperty(kTemplate, text);
        std::wstring codes = L"unchanged";
        ASSERT_TRUE(ReadTargetProductCodes(kPackage, codes));
        EXPECT_EQ(codes, text);
        if (length < 2048) {
            ASSERT_EQ(installer.reads.size(), 1u);
            EXPECT_EQ(installer.reads[0].countPassed, 2048u);
        } else {
            ASSERT_EQ(installer.reads.size(), 2u);
            EXPECT_EQ(installer.reads[0].countPassed, 2048u);
            EXPECT_EQ(installer.reads[1].countPassed, length + 1);
        }
    }
    expectClosedOnce();
}

TEST_F(SummaryTest, FailedReadsLeaveOutputsUntouchedAndCloseTheHandle) {
    struct Case {
        const char* what;
        std::uint32_t result;
        std::optional<std::uint32_t> secondResult;
        std::size_t length;
    } cases[] = {
        {"first read fails", 1627, std::nullopt, 10},
        {"second read fails", 0, 1627u, 3000},
        {"second read asks for more again", 0, 234u, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        installer.packages[kPackage] = fake::Package();
        property(kTemplate) = {std::wstring(c.length, L'T'), c.result, c.secondResult};
        property(kKeywords) = {L"2.0;1.0,", c.result, c.secondResult};
        if (c.secondResult) property(kKeywords).text = L"2.0;" + std::wstring(3000, L'1');
        std::wstring codes = L"codes", upgrade = L"up", targets = L"tv";
        EXPECT_FALSE(ReadTargetProductCodes(kPackage, codes));
        EXPECT_FALSE(ReadPatchVersions(kPackage, upgrade, targets));
        EXPECT_EQ(codes, L"codes");
        EXPECT_EQ(upgrade, L"up");
        EXPECT_EQ(targets, L"tv");
    }
    expectClosedOnce();
}

TEST_F(SummaryTest, UnreadablePackagesFailWithoutAHandle) {
    std::wstring codes = L"codes", upgrade = L"up", targets = L"tv";
    // No such package, and a path whose full form exceeds 259 characters.
    EXPECT_FALSE(ReadTargetProductCodes(L"C:\\nowhere.msp", codes));
    const std::wstring longPath = L"C:\\" + std::wstring(257, L'p');
    installer.packages[longPath].properties[kTemplate].text = L"{X}";
    EXPECT_FALSE(ReadTargetProductCodes(longPath, codes));
    EXPECT_FALSE(ReadPatchVersions(longPath, upgrade, targets));
    EXPECT_EQ(codes, L"codes");
    EXPECT_EQ(upgrade, L"up");
    EXPECT_EQ(installer.opened, 0);
    EXPECT_TRUE(installer.closed.empty());
    // Exactly 259 characters still opens.
    const std::wstring longest = L"C:\\" + std::wstring(256, L'p');
    installer.packages[longest].properties[kTemplate].text = L"{X}";
    EXPECT_TRUE(ReadTargetProductCodes(longest, codes));
    EXPECT_EQ(codes, L"{X}");
}

TEST_F(SummaryTest, RelativePathsAreMadeAbsoluteFirst) {
    installer.packages[L"C:\\Work\\pkg.msp"].properties[kTemplate].text = L"{A};{B}";
    std::wstring codes;
    EXPECT_TRUE(ReadTargetProductCodes(L"pkg.msp", codes));
    EXPECT_EQ(codes, L"{A};{B}");
    EXPECT_EQ(installer.openedPaths.back(), L"C:\\Work\\pkg.msp");
}

TEST_F(SummaryTest, MissingTemplateGivesEmptyCodes) {
    installer.packages[kPackage];
    std::wstring codes = L"old";
    EXPECT_TRUE(ReadTargetProductCodes(kPackage, codes));
    EXPECT_EQ(codes, L"");
}

TEST_F(SummaryTest, TextEndsAtTheBufferEvenWithoutTerminator) {
    property(kTemplate).unterminated = true;
    std::wstring codes;
    EXPECT_TRUE(ReadTargetProductCodes(kPackage, codes));
    EXPECT_EQ(codes.size(), 2048u);
}

TEST_F(SummaryTest, KeywordsSplitAtTheFirstSemicolon) {
    struct Case {
        const wchar_t* keywords;
        const wchar_t* upgrade;
        const wchar_t* targets;
    } cases[] = {
        {L"2.0.0.0;1.0.0.0,", L"2.0.0.0", L"1.0.0.0,"},
        {L"2.0.0.0;", L"2.0.0.0", L""},
        {L"2.0.0.0;1.0.0.0,;1.5.0.0,", L"2.0.0.0", L"1.0.0.0,;1.5.0.0,"},
        {L"2.0 ; 1.0,", L"2.0 ", L" 1.0,"},
        {L"x;y", L"x", L"y"},
    };
    for (const auto& c : cases) {
        setProperty(kKeywords, c.keywords);
        std::wstring upgrade, targets;
        thread.error = 0;
        ASSERT_TRUE(ReadPatchVersions(kPackage, upgrade, targets)) << c.keywords;
        EXPECT_EQ(upgrade, c.upgrade);
        EXPECT_EQ(targets, c.targets);
        EXPECT_EQ(thread.error, 0u);
    }
    expectClosedOnce();
}

TEST_F(SummaryTest, KeywordsWithoutUsableSemicolonFailWith4316) {
    for (const wchar_t* keywords : {L"2.0.0.0", L";1.0.0.0,", L"", L";"}) {
        setProperty(kKeywords, keywords);
        std::wstring upgrade = L"up", targets = L"tv";
        thread.error = 0;
        EXPECT_FALSE(ReadPatchVersions(kPackage, upgrade, targets)) << keywords;
        EXPECT_EQ(thread.error, 4316u) << keywords;
        EXPECT_EQ(upgrade, L"up");
        EXPECT_EQ(targets, L"tv");
    }
    expectClosedOnce();
}

TEST_F(SummaryTest, PatchCodeIsTheGuidThatBeginsTheRevisionNumber) {
    const std::wstring code = L"{0A1b2C3d-4E5f-6789-ABCD-ef0123456789}";
    struct Case {
        std::wstring revNumber;
        bool read;
    } cases[] = {
        {code, true}, {code + L"{11111111-2222-3333-4444-555555555555}", true},  // then the patches it replaces
        {L"", false}, {code.substr(0, 37), false}, {L" " + code, false},
        {L"{0A1B2C3D+4E5F-6789-ABCD-EF0123456789}", false}, {L"(0A1B2C3D-4E5F-6789-ABCD-EF012345678G)", false},
    };
    for (const Case& c : cases) {
        setProperty(9, c.revNumber);
        std::wstring patchCode = L"unchanged";
        EXPECT_EQ(ReadPatchCode(kPackage, patchCode), c.read) << std::string(c.revNumber.begin(), c.revNumber.end());
        EXPECT_EQ(patchCode, c.read ? code : L"unchanged");
        if (!c.read) EXPECT_EQ(thread.error, 4316u);
    }
    expectClosedOnce();
}

}  // namespace
