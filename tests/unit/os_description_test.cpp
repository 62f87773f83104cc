// The name and version of the running Windows for the information report.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "report/os_description.h"

namespace {

constexpr std::uint8_t kWorkstation = 1;
constexpr std::uint8_t kDomainController = 2;
constexpr std::uint8_t kServer = 3;
constexpr std::uint16_t kPersonal = 0x0200;
constexpr std::uint16_t kX86 = 0;
constexpr std::uint16_t kIa64 = 6;
constexpr std::uint16_t kAmd64 = 9;
constexpr std::uint16_t kArm64 = 12;

enum class Queries { Both, PlainOnly, Neither };

struct SystemCase {
    const char* what;
    std::uint32_t major, minor;
    std::uint8_t productType;
    std::uint16_t suiteMask;
    std::uint16_t architecture;
    Queries queries;
    const wchar_t* expectedText;
    const wchar_t* expectedVersion;
    std::uint32_t build = 7601;
};

class OsDescriptionTest : public OsVersionTest {
protected:
    void describe(const SystemCase& c, std::wstring& text, FourPartVersion& version) {
        // The build chooses a name of 10.0 only; the version never shows it.
        os = fake::OsVersion();
        os.report(fake::NtRecord(c.major, c.minor, c.productType, c.suiteMask, c.build), c.architecture);
        if (c.queries != Queries::Both) os.extended.reset();
        if (c.queries == Queries::Neither) os.plain.reset();
        DescribeOperatingSystem(text, version);
    }

    void expectAll(const std::vector<SystemCase>& cases) {
        for (const SystemCase& c : cases) {
            SCOPED_TRACE(c.what);
            std::wstring text = L"Windows";
            FourPartVersion version;
            version.clear();
            describe(c, text, version);
            EXPECT_EQ(text, c.expectedText);
            EXPECT_EQ(version.toText(), c.expectedVersion);
        }
    }
};

TEST_F(OsDescriptionTest, TypicalSystems) {
    expectAll({
        {"4.0 workstation, extended query", 4, 0, kWorkstation, 0, kX86, Queries::Both,
         L"Microsoft Windows NT Workstation 4.0 ", L"4.0.0.0"},
        {"4.0 workstation, plain query only", 4, 0, kWorkstation, 0, kX86, Queries::PlainOnly,
         L"Microsoft Windows NT ", L"4.0.0.0"},
        {"5.0 workstation", 5, 0, kWorkstation, 0, kX86, Queries::Both, L"Microsoft Windows 2000 Professional ",
         L"5.0.0.0"},
        {"5.0 server", 5, 0, kServer, 0, kX86, Queries::Both, L"Microsoft Windows 2000 ", L"5.0.0.0"},
        {"5.1 home", 5, 1, kWorkstation, kPersonal, kX86, Queries::Both, L"Microsoft Windows XP Home Edition ",
         L"5.1.0.0"},
        {"5.1 workstation", 5, 1, kWorkstation, 0, kX86, Queries::Both, L"Microsoft Windows XP Professional ",
         L"5.1.0.0"},
        {"5.2 workstation, AMD64", 5, 2, kWorkstation, 0, kAmd64, Queries::Both,
         L"Microsoft Windows XP Professional x64 Edition ", L"5.2.0.0"},
        {"5.2 workstation, x86", 5, 2, kWorkstation, 0, kX86, Queries::Both,
         L"Microsoft Windows Server 2003 Professional ", L"5.2.0.0"},
        {"5.2 server", 5, 2, kServer, 0, kX86, Queries::Both, L"Microsoft Windows Server 2003", L"5.2.0.0"},
        {"6.0 workstation", 6, 0, kWorkstation, 0, kX86, Queries::Both, L"Windows Vista Professional ",
         L"6.0.0.0"},
        {"6.1 home", 6, 1, kWorkstation, kPersonal, kX86, Queries::Both, L"Windows 7 Home Edition ",
         L"6.1.0.0"},
        {"6.1 workstation, AMD64", 6, 1, kWorkstation, 0, kAmd64, Queries::Both, L"Windows 7 ", L"6.1.0.0"},
        {"6.0 server", 6, 0, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2008 ", L"6.0.0.0"},
        {"6.1 server", 6, 1, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2008 R2 ", L"6.1.0.0"},
        {"6.2 server", 6, 2, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2012 ", L"6.2.0.0"},
        {"10.0 workstation, x86", 10, 0, kWorkstation, 0, kX86, Queries::Both, L"Windows 10 Professional ",
         L"10.0.0.0", 19045},
        {"10.0 workstation, AMD64", 10, 0, kWorkstation, 0, kAmd64, Queries::Both, L"Windows 10 ", L"10.0.0.0",
         21999},
        {"10.0 workstation from build 22000", 10, 0, kWorkstation, 0, kAmd64, Queries::Both, L"Windows 11 ",
         L"10.0.0.0", 22000},
        {"Windows 11 home, x86", 10, 0, kWorkstation, kPersonal, kX86, Queries::Both,
         L"Windows 11 Home Edition ", L"10.0.0.0", 26100},
        {"10.0 server 14393", 10, 0, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2016 ", L"10.0.0.0", 14393},
        {"10.0 server 17763", 10, 0, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2019 ", L"10.0.0.0", 17763},
        {"10.0 server 20348", 10, 0, kDomainController, 0, kAmd64, Queries::Both, L"Windows Server 2022 ",
         L"10.0.0.0", 20348},
        {"10.0 server 26100", 10, 0, kServer, 0, kAmd64, Queries::Both, L"Windows Server 2025 ", L"10.0.0.0", 26100},
        {"10.0 server of another build", 10, 0, kServer, 0, kX86, Queries::Both, L"Windows Server ", L"10.0.0.0",
         26200},
    });
}

TEST_F(OsDescriptionTest, EdgeCases) {
    expectAll({
        {"6.2 workstation", 6, 2, kWorkstation, 0, kX86, Queries::Both, L"Windows 8 Professional ", L"6.2.0.0"},
        {"6.3 workstation, AMD64", 6, 3, kWorkstation, 0, kAmd64, Queries::Both, L"Windows 8.1 ", L"6.3.0.0"},
        {"6.3 domain controller", 6, 3, kDomainController, 0, kX86, Queries::Both, L"Windows Server 2012 R2 ",
         L"6.3.0.0"},
        {"5.2 workstation, home", 5, 2, kWorkstation, kPersonal, kX86, Queries::Both,
         L"Microsoft Windows Server 2003 Home Edition ", L"5.2.0.0"},
        {"5.2 server on AMD64", 5, 2, kServer, 0, kAmd64, Queries::Both, L"Microsoft Windows Server 2003",
         L"5.2.0.0"},
        // Only AMD64 counts as 64-bit: other architectures get the edition.
        {"5.2 workstation, IA64", 5, 2, kWorkstation, 0, kIa64, Queries::Both,
         L"Microsoft Windows Server 2003 Professional ", L"5.2.0.0"},
        {"10.0 workstation, ARM64", 10, 0, kWorkstation, 0, kArm64, Queries::Both, L"Windows 11 Professional ",
         L"10.0.0.0", 22631},
        // The plain query leaves the product type 0: a server to the names.
        {"6.1 workstation, plain query only", 6, 1, kWorkstation, 0, kX86, Queries::PlainOnly,
         L"Windows Server 2008 R2 ", L"6.1.0.0"},
        {"5.2 workstation on AMD64, plain query only", 5, 2, kWorkstation, 0, kAmd64, Queries::PlainOnly,
         L"Microsoft Windows Server 2003", L"5.2.0.0"},
        {"10.0 workstation, plain query only", 10, 0, kWorkstation, 0, kX86, Queries::PlainOnly,
         L"Windows Server 2016 ", L"10.0.0.0", 14393},
        // Unnamed versions keep the starting text, and the edition follows it after a space.
        {"5.3 workstation", 5, 3, kWorkstation, 0, kX86, Queries::Both, L"Windows Professional ", L"5.3.0.0"},
        {"6.4 workstation", 6, 4, kWorkstation, 0, kX86, Queries::Both, L"Windows Professional ", L"6.4.0.0"},
        {"10.1 server", 10, 1, kServer, 0, kX86, Queries::Both, L"Windows", L"10.1.0.0", 14393},
        {"7.0 home", 7, 0, kWorkstation, kPersonal, kX86, Queries::Both, L"Windows Home Edition ", L"7.0.0.0"},
        {"4.0 home keeps the 4.0 edition", 4, 0, kWorkstation, kPersonal, kX86, Queries::Both,
         L"Microsoft Windows NT Workstation 4.0 ", L"4.0.0.0"},
        {"3.51 workstation", 3, 51, kWorkstation, 0, kX86, Queries::Both, L"Microsoft Windows NT Professional ",
         L"3.51.0.0"},
        // Compared whole, shown by their low 16 bits.
        {"major 0x10006", 0x10006, 0x10001, kWorkstation, 0, kAmd64, Queries::Both, L"Windows", L"6.1.0.0"},
    });
}

TEST_F(OsDescriptionTest, PlainQueryReusesTheRecordButNeverAddsAnEdition) {
    // The extended query failed after filling in a workstation; the plain
    // one answers in the same record, so the name sees that product type.
    os.report(fake::NtRecord(6, 1, kWorkstation), kX86);
    os.extended.reset();
    os.leftByFailedExtended = fake::NtRecord(6, 0, kWorkstation, kPersonal);
    std::wstring text = L"Windows";
    FourPartVersion version;
    DescribeOperatingSystem(text, version);
    EXPECT_EQ(text, L"Windows 7 ");
    EXPECT_EQ(version.toText(), L"6.1.0.0");
}

TEST_F(OsDescriptionTest, UnreadableOrNonNtSystemLeavesBothOutputsAsTheyCame) {
    struct Case {
        const char* what;
        std::uint32_t platformId;
        Queries queries;
    } cases[] = {
        {"platform 0", 0, Queries::Both},
        {"platform 1", 1, Queries::Both},
        {"platform 3", 3, Queries::Both},
        {"platform 1, plain query only", 1, Queries::PlainOnly},
        {"both queries fail", 2, Queries::Neither},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::OsVersionRecord record = fake::NtRecord(6, 1, kWorkstation);
        record.platformId = c.platformId;
        os.report(record, kX86);
        if (c.queries != Queries::Both) os.extended.reset();
        if (c.queries == Queries::Neither) os.plain.reset();
        std::wstring text = L"Windows";
        FourPartVersion version;
        version.set(1, 2, 3, 4);
        DescribeOperatingSystem(text, version);
        EXPECT_EQ(text, L"Windows");
        EXPECT_EQ(version.toText(), L"1.2.3.4");
    }
}

TEST_F(OsDescriptionTest, AsksWithTheExtendedRecordFirstAndThePlainOneOnlyWhenItFails) {
    os.report(fake::NtRecord(6, 1, kWorkstation), kAmd64);
    std::wstring text = L"Windows";
    FourPartVersion version;
    DescribeOperatingSystem(text, version);
    EXPECT_EQ(os.sizesPassed, (std::vector<std::uint32_t>{284}));
    EXPECT_EQ(os.architectureQueries, 1);

    os.sizesPassed.clear();
    os.extended.reset();
    DescribeOperatingSystem(text, version);
    EXPECT_EQ(os.sizesPassed, (std::vector<std::uint32_t>{284, 276}));

    os.sizesPassed.clear();
    os.plain.reset();
    os.architectureQueries = 0;
    DescribeOperatingSystem(text, version);
    EXPECT_EQ(os.sizesPassed, (std::vector<std::uint32_t>{284, 276}));
    EXPECT_EQ(os.architectureQueries, 0);
}

}  // namespace
