// How command lines select the mode and the switches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <set>
#include <tuple>

#include "app/command_line.h"
#include "app/property_arguments.h"
#include "app/switches.h"
#include "fixtures.h"

// Allocations can be made to run out: after `g_allocationsLeft` more, each
// one throws. Sanitizer runtimes bring their own allocator, so there the test
// that needs this is skipped.
#if defined(__SANITIZE_ADDRESS__)
#define ALLOCATION_LIMIT 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOCATION_LIMIT 0
#endif
#endif
#ifndef ALLOCATION_LIMIT
#define ALLOCATION_LIMIT 1
#endif

namespace {
long g_allocationsLeft = -1;  // -1: no limit
}

#if ALLOCATION_LIMIT
void* operator new(std::size_t size) {
    if (g_allocationsLeft == 0) throw std::bad_alloc();
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

struct ModeCase {
    std::vector<std::wstring> args;  // after the program's path
    bool install, extract, report, quiet;
    std::wstring extractPath;
};

class CommandLineTest : public PlatformTest {
protected:
    // One parse as in a new process: the report switch starts false and is
    // left alone by the parser unless "/i" or "/pi" is scanned.
    void parse(const std::vector<std::wstring>& args) {
        ReportMode = false;
        arguments.arguments = {L"C:\\Downloads\\update.exe"};
        arguments.arguments.insert(arguments.arguments.end(), args.begin(), args.end());
        ParseCommandLine();
    }
};

TEST_F(CommandLineTest, SelectsTheModeOfEachCommandLine) {
    const ModeCase cases[] = {
        {{}, true, false, false, false, L""},
        {{L"foo", L"-i", L"-pi", L"i"}, true, false, false, false, L""},
        {{L"/q"}, true, false, false, true, L""},
        {{L"/Q"}, true, false, false, true, L""},
        {{L"/e", L"C:\\out\\p.msp"}, false, true, false, false, L"C:\\out\\p.msp"},
        {{L"/i"}, false, false, true, false, L""},
        {{L"/e", L"p.msp", L"/i"}, false, true, true, false, L"p.msp"},
        {{L"/i", L"/e", L"p.msp"}, false, false, true, false, L""},
        {{L"/pi"}, false, false, false, false, L""},
        {{L"/pi", L"/i"}, false, false, false, false, L""},
        {{L"/e", L"p.msp", L"/pi"}, false, true, false, false, L"p.msp"},
        {{L"/q", L"/e", L"p.msp"}, false, true, false, true, L"p.msp"},
        {{L"/i", L"/q"}, false, false, true, false, L""},
        {{L"/q", L"/i"}, false, false, true, true, L""},
        // "/e" takes the next argument unchanged, even one that looks like a switch.
        {{L"/e", L"/q"}, false, true, false, false, L"/q"},
        {{L"/e", L"/i"}, false, true, false, false, L"/i"},
        // "/e" as the last argument: extraction with an empty path.
        {{L"/e"}, false, true, false, false, L""},
        // The last "/e" wins; a trailing "/e" keeps the earlier path.
        {{L"/e", L"a.msp", L"/e", L"b.msp"}, false, true, false, false, L"b.msp"},
        {{L"/e", L"a.msp", L"/e"}, false, true, false, false, L"a.msp"},
    };
    for (const ModeCase& c : cases) {
        std::wstring shown;
        for (const auto& a : c.args) shown += a + L" ";
        SCOPED_TRACE(std::string(shown.begin(), shown.end()));
        parse(c.args);
        EXPECT_EQ(InstallMode, c.install);
        EXPECT_EQ(ExtractMode, c.extract);
        EXPECT_EQ(ReportMode, c.report);
        EXPECT_EQ(QuietMode, c.quiet);
        EXPECT_EQ(ExtractPath, c.extractPath);
    }
}

TEST_F(CommandLineTest, DeploymentSwitchesJoinTheScan) {
    struct Case {
        std::vector<std::wstring> args;
        bool deployment, quietMode, quiet, passive, norestart, log;
        std::wstring logPath;
        bool help, install, report;
        bool cmtrace = false;
    } cases[] = {
        {{L"/quiet"}, true, true, true, false, false, false, L"", false, true, false},
        {{L"/QUIET", L"/q"}, true, true, true, false, false, false, L"", false, true, false},
        {{L"/Passive"}, true, true, false, true, false, false, L"", false, true, false},
        // Both given: the installer runs with no UI at all (the quieter wins).
        {{L"/passive", L"/quiet"}, true, true, true, true, false, false, L"", false, true, false},
        {{L"/norestart"}, true, false, false, false, true, false, L"", false, true, false},
        {{L"/log", L"C:\\logs\\run.log", L"/NoRestart"}, true, false, false, false, true, true, L"C:\\logs\\run.log",
         false, true, false},
        // "/log" takes the next argument unchanged; as the last argument it takes none.
        {{L"/log", L"/quiet"}, true, false, false, false, false, true, L"/quiet", false, true, false},
        {{L"/quiet", L"/log"}, true, true, true, false, false, true, L"", false, true, false},
        {{L"/e", L"p.msp", L"/quiet"}, true, true, true, false, false, false, L"", false, false, false},
        // The scan ends at "/i" and "/pi": nothing after them is seen.
        {{L"/i", L"/quiet", L"/log", L"x.log"}, false, false, false, false, false, false, L"", false, false, true},
        {{L"/pi", L"/norestart", L"/?"}, false, false, false, false, false, false, L"", false, false, false},
        {{L"/passive", L"/i"}, true, true, false, true, false, false, L"", false, false, true},
        {{L"/?"}, false, false, false, false, false, false, L"", true, true, false},
        {{L"/HELP", L"/quiet"}, true, true, true, false, false, false, L"", true, true, false},
        {{L"/q", L"/e", L"x"}, false, true, false, false, false, false, L"", false, false, false},
        // The log's format alone: a deployment switch that hides no box.
        {{L"/CMTrace"}, true, false, false, false, false, false, L"", false, true, false, true},
        {{L"/quiet", L"/cmtrace", L"/log", L"x.log"}, true, true, true, false, false, true, L"x.log", false, true, false,
         true},
        {{L"/log", L"/cmtrace"}, true, false, false, false, false, true, L"/cmtrace", false, true, false},
        // Only whole switches count.
        {{L"/quiet:1", L"/log=x", L"/norestart ", L"-quiet", L"/??", L"/h", L"/passiv", L"/cmtrace:1", L"/cmtraces"},
         false, false, false, false, false, false, L"", false, true, false},
    };
    for (const Case& c : cases) {
        std::wstring shown;
        for (const auto& a : c.args) shown += a + L" ";
        SCOPED_TRACE(std::string(shown.begin(), shown.end()));
        parse(c.args);
        EXPECT_EQ(DeploymentMode(), c.deployment);
        EXPECT_EQ(QuietMode, c.quietMode);
        EXPECT_EQ(QuietSwitch, c.quiet);
        EXPECT_EQ(PassiveSwitch, c.passive);
        EXPECT_EQ(NoRestartSwitch, c.norestart);
        EXPECT_EQ(LogSwitch, c.log);
        EXPECT_EQ(LogPath, c.logPath);
        EXPECT_EQ(HelpMode, c.help);
        EXPECT_EQ(InstallMode, c.install);
        EXPECT_EQ(ReportMode, c.report);
        EXPECT_EQ(CmtraceSwitch, c.cmtrace);
    }
}

TEST_F(CommandLineTest, PropertiesAndCheckJoinTheScanAndCountOnlyWithADeploymentSwitch) {
    struct Case {
        std::vector<std::wstring> args;
        bool check;
        std::vector<std::wstring> properties;  // as scanned
        std::wstring passed;                   // what a configure call gets
    } cases[] = {
        {{L"/quiet", L"MSIFASTINSTALL=7", L"A.B_9=x y", L"EMPTY="}, false,
         {L"MSIFASTINSTALL=7", L"A.B_9=x y", L"EMPTY="}, L" MSIFASTINSTALL=\"7\" A.B_9=\"x y\" EMPTY=\"\""},
        {{L"_N=say \"hi\"", L"/log", L"x.log", L"_N=a=b"}, false, {L"_N=say \"hi\"", L"_N=a=b"},
         L" _N=\"say \"\"hi\"\"\" _N=\"a=b\""},
        // Without a deployment switch they are ignored, as ever.
        {{L"MSIFASTINSTALL=7", L"/q"}, false, {L"MSIFASTINSTALL=7"}, L""},
        // Any other NAME=VALUE is one too (PropertyRefusal judges its name); private properties,
        // switches and words are not.
        {{L"/quiet", L"lower=1", L"Mixed.C=1", L"=x", L" A=1", L"NAME", L"/log=x", L"/x=1", L"1a=2"}, false,
         {L"=x", L" A=1", L"1a=2"}, L" =\"x\"  A=\"1\" 1a=\"2\""},
        {{L"/CHECK", L"X=1"}, true, {L"X=1"}, L" X=\"1\""},
        // "/e" and "/log" take the next argument; the scan ends at "/i" and "/pi".
        {{L"/check", L"/log", L"X=1", L"/e", L"Y=2"}, true, {}, L""},
        {{L"/quiet", L"X=1", L"/i", L"/check", L"Y=2"}, false, {L"X=1"}, L" X=\"1\""},
        {{L"/check:1", L"-check", L"/checks"}, false, {}, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        parse(c.args);
        EXPECT_EQ(CheckSwitch, c.check);
        if (c.check) EXPECT_TRUE(DeploymentMode() && QuietMode);
        EXPECT_EQ(PropertyArguments, c.properties);
        EXPECT_EQ(PassedPropertiesCommandLine(), c.passed);
    }
}

TEST(PropertyArguments, TheInstallersOwnAndTooLongOnesAreRefused) {
    const std::size_t room = PropertiesCapacity();
    const std::wstring fits = L"F=" + std::wstring(room - 5, L'v');  // ` F="..."`
    struct Case {
        std::vector<std::wstring> properties;
        bool noRestart;
        std::wstring refused;  // empty: accepted
        const wchar_t* reason;
    } cases[] = {
        {{L"MSIRESTARTMANAGERCONTROL=Disable", L"REBOOT=Force"}, false, L"", L""},
        {{L"A=1", L"PATCH=C:\\x.msp"}, false, L"PATCH", L"PATCH names the patch package"},
        {{L"REBOOTPROMPT="}, false, L"REBOOTPROMPT", L"REBOOTPROMPT belongs to the update"},
        {{L"FILESINUSETEXT=x"}, true, L"FILESINUSETEXT", L"FILESINUSETEXT belongs to the update"},
        {{L"REBOOT=Force"}, true, L"REBOOT", L"/norestart sets REBOOT=ReallySuppress"},
        {{L"PATCHES=1", L"REBOOT_=1", L"REINSTALL=ALL", L"REINSTALLMODE=omus", L"_X.1=", L"Z9=1"}, true, L"", L""},
        {{fits}, false, L"", L""},
        {{fits + L"v"}, false, L"F", L"take 447 characters, and at most 446 fit"},
        // A doubled quotation mark counts twice.
        {{L"A=\"", fits.substr(0, fits.size() - 6)}, false, L"F", L"at most 446"},
        // Names that are no Windows Installer identifier.
        {{L"OK=1", L".X=1"}, false, L".X", L"not a Windows Installer property name"},
        {{L"1ABC=2"}, false, L"1ABC", L"not a Windows Installer property name"},
        {{L"=x"}, false, L"", L"not a Windows Installer property name"},
        {{L"A-B=1"}, false, L"A-B", L"not a Windows Installer property name"},
        {{L"\u00c4=1"}, false, L"\u00c4", L"not a Windows Installer property name"},
        // Registered without a change of the system, answered with 0.
        {{L"EXECUTEMODE=Script"}, false, L"", L""},
        {{L"EXECUTEMODE=None"}, false, L"EXECUTEMODE", L"register the patch without applying it"},
        {{L"EXECUTEMODE="}, false, L"EXECUTEMODE", L"register the patch without applying it"},
    };
    // Those that would turn the patch run into another change of the product.
    std::vector<Case> rows(std::begin(cases), std::end(cases));
    for (const wchar_t* name : {L"REMOVE", L"MSIPATCHREMOVE", L"ADDLOCAL", L"ADDSOURCE", L"ADDDEFAULT", L"ADVERTISE",
                                L"COMPADDLOCAL", L"COMPADDSOURCE", L"COMPADDDEFAULT", L"FILEADDLOCAL", L"FILEADDSOURCE",
                                L"FILEADDDEFAULT", L"ACTION", L"TRANSFORMS", L"MSINEWINSTANCE", L"MSIINSTANCEGUID",
                                L"EXECUTEACTION", L"UPGRADINGPRODUCTCODE"}) {
        rows.push_back({{L"REINSTALL=ALL", std::wstring(name) + L"=ALL"}, false, name,
                        L"would change what the configure call does"});
    }
    for (const Case& c : rows) {
        SCOPED_TRACE(std::string(c.refused.begin(), c.refused.end()));
        std::wstring refused = L"x";
        const auto why = PropertyRefusal(c.properties, c.noRestart, refused);
        EXPECT_EQ(refused, c.refused);
        EXPECT_EQ(why.has_value(), c.reason[0] != L'\0');
        if (why) EXPECT_NE(why->find(c.reason), std::wstring::npos) << std::string(why->begin(), why->end());
    }
}

TEST_F(CommandLineTest, MatchesWholeSwitchesIgnoringCaseOnly) {
    // Each of these matches a switch.
    for (const wchar_t* arg : {L"/i", L"/I"}) {
        parse({arg});
        EXPECT_TRUE(ReportMode) << arg;
    }
    for (const wchar_t* arg : {L"/pi", L"/PI", L"/Pi", L"/pI"}) {
        parse({L"/e", L"x", arg, L"/i"});
        EXPECT_FALSE(ReportMode) << arg;
    }
    // None of these does: another lead character, no slash, more letters,
    // a path joined to the switch, surrounding space, a non-ASCII look-alike.
    for (const wchar_t* arg : {L"-i", L"i", L"/ii", L"/i:", L"/eC:\\x.msp", L" /i", L"/i ", L"\\i",
                               L"/\u0130", L"/\uFF49", L"/", L""}) {
        parse({arg});
        EXPECT_TRUE(InstallMode) << arg;
        EXPECT_FALSE(ReportMode) << arg;
        EXPECT_FALSE(ExtractMode) << arg;
    }
}

TEST_F(CommandLineTest, ReparsingStartsFromTheValuesAtStart) {
    parse({L"/q", L"/e", L"a.msp", L"/passive", L"/norestart", L"/log", L"l", L"/cmtrace", L"/?"});
    parse({});
    EXPECT_FALSE(DeploymentMode());
    EXPECT_FALSE(HelpMode);
    EXPECT_TRUE(LogPath.empty());
    EXPECT_FALSE(QuietMode);
    EXPECT_FALSE(ExtractMode);
    EXPECT_TRUE(ExtractPath.empty());
    EXPECT_TRUE(InstallMode);
}

TEST_F(CommandLineTest, OutOfMemoryEndsTheScanWhereItIs) {
    if (!ALLOCATION_LIMIT) GTEST_SKIP() << "the sanitizer's allocator cannot be limited";
    const std::vector<std::wstring> args = {L"/q", L"/e", L"C:\\Updates\\first package.msp", L"/e",
                                            L"C:\\Updates\\second package.msp", L"/i"};
    using State = std::tuple<bool, bool, bool, bool, std::wstring>;
    auto state = [] { return State{InstallMode, ExtractMode, ReportMode, QuietMode, ExtractPath}; };
    // What a scan that ended after each argument leaves.
    std::set<State> prefixes;
    for (std::size_t n = 0; n <= args.size(); ++n) {
        std::vector<std::wstring> prefix = {L"update.exe"};
        prefix.insert(prefix.end(), args.begin(), args.begin() + static_cast<long>(n));
        ReportMode = false;
        ScanArguments(prefix);
        prefixes.insert(state());
    }
    arguments.arguments = {L"C:\\Downloads\\update.exe"};
    arguments.arguments.insert(arguments.arguments.end(), args.begin(), args.end());
    bool reachedTheEnd = false;
    for (long budget = 0; budget < 200 && !reachedTheEnd; ++budget) {
        ReportMode = false;
        g_allocationsLeft = budget;
        ParseCommandLine();
        reachedTheEnd = g_allocationsLeft > 0;
        g_allocationsLeft = -1;
        EXPECT_EQ(prefixes.count(state()), 1u) << "after " << budget << " allocations";
    }
    EXPECT_TRUE(reachedTheEnd);
    EXPECT_EQ(state(), (State{false, true, true, true, L"C:\\Updates\\second package.msp"}));
}

}  // namespace
