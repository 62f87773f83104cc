// Names that extracted packages are written under.
#include <gtest/gtest.h>

#include "package/file_names.h"

namespace {

TEST(PackageNames, FollowThePatternOfTheUser) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* suffix;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\out\\pkg.msp", L"_glob", L"C:\\out\\pkg_glob.msp"},
        {L"C:\\out\\pkg.msp", L"_lp", L"C:\\out\\pkg_lp.msp"},
        {L"pkg.msp", L"_glob", L"pkg_glob.msp"},
        {L"C:\\out\\pkg", L"_glob", L"C:\\out\\pkg_glob"},
        {L"C:\\out\\pkg.v2.msp", L"_glob", L"C:\\out\\pkg.v2_glob"},
        {L"C:\\out\\pkg.msp", L"", L"C:\\out\\pkg.msp"},
        {L"C:\\pkg.msp", L"_glob", L"C:\\pkg_glob.msp"},
        {L"C:pkg.msp", L"_lp", L"C:\\pkg_lp.msp"},
        {L"\\\\server\\share\\pkg.msp", L"_glob", L"\\\\server\\share\\pkg_glob.msp"},
        {L"C:\\my files\\my pkg.msp", L"_glob", L"C:\\my files\\my pkg_glob.msp"},
        // A dot in a folder name is not an extension.
        {L"C:\\out.d\\pkg", L"_glob", L"C:\\out.d\\pkg_glob"},
        // Forward slashes are read as separators.
        {L"C:/out/pkg.msp", L"_glob", L"C:\\out\\pkg_glob.msp"},
        // Relative folders are kept as given, ".." included.
        {L"..\\pkg.msp", L"_lp", L"..\\pkg_lp.msp"},
    };
    for (const auto& c : cases) {
        auto name = SuffixedPackageName(c.pattern, c.suffix);
        ASSERT_TRUE(name.has_value()) << c.pattern;
        EXPECT_EQ(*name, c.expected) << c.pattern;
    }
}

TEST(PackageNames, RefuseNamesBeyondTheLimits) {
    const std::wstring folder = L"C:\\out\\";
    // The whole pattern: 259 characters are taken, 260 are not.
    std::wstring longest = folder + std::wstring(259 - folder.size() - 4, L'a') + L".msp";
    ASSERT_EQ(longest.size(), 259u);
    EXPECT_TRUE(SuffixedPackageName(longest, L"").has_value());
    EXPECT_FALSE(SuffixedPackageName(longest + L"x", L"").has_value());
    // The suffix may not push the result past 259 characters.
    EXPECT_FALSE(SuffixedPackageName(longest, L"_glob").has_value());
    // A base name longer than 255 characters with its suffix.
    EXPECT_FALSE(SuffixedPackageName(std::wstring(251, L'b') + L".msp", L"_glob").has_value());
    EXPECT_TRUE(SuffixedPackageName(std::wstring(250, L'b') + L".msp", L"_glob").has_value());
    // Very long input of any kind is refused, never cut.
    EXPECT_FALSE(SuffixedPackageName(std::wstring(40000, L'\\'), L"_glob").has_value());
}

TEST(PackageNames, SplitPathsLikeTheShell) {
    EXPECT_EQ(FolderOf(L"C:\\a\\b.msp"), L"C:\\a");
    EXPECT_EQ(FolderOf(L"C:\\b.msp"), L"C:\\");
    EXPECT_EQ(FolderOf(L"\\b.msp"), L"\\");
    EXPECT_EQ(FolderOf(L"b.msp"), L"");
    EXPECT_EQ(ExtensionOf(L"C:\\a\\b.c.msp"), L".msp");
    EXPECT_EQ(ExtensionOf(L"C:\\a\\b.ms p"), L"");
    EXPECT_EQ(ExtensionOf(L"C:\\a.d\\b"), L"");
    EXPECT_EQ(BaseNameOf(L"C:\\a\\b.c.msp"), L"b.c");
    EXPECT_EQ(JoinPath(L"C:\\", L"x"), L"C:\\x");
    EXPECT_EQ(JoinPath(L"", L"x"), L"x");
}

}  // namespace
