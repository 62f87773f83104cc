// What is asked of Windows Installer about target products, and what is kept.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "package/patch_target.h"
#include "products/installed_products.h"

namespace {

class ProductsTest : public InstallerTest {};

TEST_F(ProductsTest, OnlyDefaultAndAdvertisedCountAsInstalled) {
    const std::pair<int, bool> states[] = {{5, true}, {1, true}, {2, false}, {-1, false}, {3, false},
                                           {4, false}, {-2, false}, {0, false}, {6, false}};
    for (auto [state, installed] : states) {
        installer.products[L"{P}"].state = state;
        EXPECT_EQ(IsProductInstalled(L"{P}"), installed) << state;
    }
    EXPECT_FALSE(IsProductInstalled(L"{UNKNOWN}"));
    // The code goes to the service exactly as written.
    EXPECT_FALSE(IsProductInstalled(L" {P}"));
    EXPECT_EQ(installer.stateQueries.back(), L" {P}");
    EXPECT_TRUE(installer.infoQueries.empty());
}

TEST_F(ProductsTest, ReadsVersionNameAndLanguageWithFullRoomEachTime) {
    auto& product = installer.products[L"{P}"];
    product.properties = {{L"VersionString", L"1.1.0.0"},
                          {L"ProductName", std::wstring(1000, L'N')},
                          {L"Language", L"1031"}};
    EXPECT_EQ(GetInstalledVersionString(L"{P}"), L"1.1.0.0");
    std::wstring name, language;
    GetProductNameAndLanguage(L"{P}", name, language);
    EXPECT_EQ(name, std::wstring(1000, L'N'));
    EXPECT_EQ(language, L"1031");
    ASSERT_EQ(installer.infoCounts.size(), 3u);
    for (std::uint32_t count : installer.infoCounts) EXPECT_EQ(count, 1024u);
}

TEST_F(ProductsTest, FailedQueriesGiveEmptyTextNeverAnEarlierValue) {
    auto& product = installer.products[L"{P}"];
    product.properties = {{L"ProductName", L"Example Product"}, {L"VersionString", std::wstring(1024, L'9')}};
    product.failing[L"Language"] = 1608;
    // A value that does not fit the 1024 characters with its terminator.
    EXPECT_EQ(GetInstalledVersionString(L"{P}"), L"");
    std::wstring name = L"old", language = L"old";
    GetProductNameAndLanguage(L"{P}", name, language);
    EXPECT_EQ(name, L"Example Product");
    EXPECT_EQ(language, L"");  // not the name left in the shared buffer
    // A name of 1024 characters or more is read again at its length.
    for (std::uint32_t length : {1023u, 1024u, 5000u}) {
        product.properties[L"ProductName"] = std::wstring(length, L'N');
        installer.infoCounts.clear();
        GetProductNameAndLanguage(L"{P}", name, language);
        EXPECT_EQ(name, std::wstring(length, L'N'));
        const std::vector<std::uint32_t> counts =
            length < 1024 ? std::vector<std::uint32_t>{1024, 1024} : std::vector<std::uint32_t>{1024, length + 1, 1024};
        EXPECT_EQ(installer.infoCounts, counts) << length;
    }
    GetProductNameAndLanguage(L"{GONE}", name, language);
    EXPECT_EQ(name, L"");
    EXPECT_EQ(language, L"");
}

TEST(PatchTargetRecord, CopiesShareNothingAndTheListKeepsOrder) {
    PatchTarget prototype;
    prototype.upgradeVersion = L"2.0.0.0";
    prototype.targetVersions = L"1.0.0.0,";
    prototype.productCode = L"{A};{B};";
    PatchTarget copy = prototype;
    copy.productCode = L"{A}";
    copy.targetVersions += L"1.1.0.0,";
    EXPECT_EQ(prototype.productCode, L"{A};{B};");
    EXPECT_EQ(prototype.targetVersions, L"1.0.0.0,");
    EXPECT_EQ(copy.upgradeVersion, L"2.0.0.0");

    TargetList list;
    list.append(copy);
    copy.productCode = L"{B}";
    list.append(copy);
    ASSERT_EQ(list.count(), 2u);
    EXPECT_EQ(list.at(0).productCode, L"{A}");
    EXPECT_EQ(list.at(1).productCode, L"{B}");
    list.clear();
    EXPECT_EQ(list.count(), 0u);
    list.clear();
    EXPECT_EQ(list.count(), 0u);
}

}  // namespace
