// Every platform call fails in turn: a few representative runs, elevated and
// not, are made once to count their calls, then once for each call with that
// call failing; and for each such faulted run, once for each call that the
// failure brought with that call failing too (retries, removals after a
// refusal, the next free name: the calls after the first failure up to where
// the run rejoins the clean run's calls). Every
// faulted run must end; must not claim the outcome of the run without the
// fault (under the deployment switches an exit code 0, 3010, 1641 or the
// clean run's own; else the clean run's boxes) unless the program deliberately goes on without the failed call and has
// done the same work; must leave no file or folder of its own and no handle
// open; must show box 300 only with a code, and no box of success after it;
// must exit, when it fails, with the failed call's error; and its own log,
// where it has one, must give the failure's code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/entry_point.h"
#include "app/switches.h"
#include "fixtures.h"
#include "ui/messages.h"

namespace {

const std::wstring kA = L"{AAAAAAAA-0000-0000-0000-000000000001}";
const std::wstring kB = L"{BBBBBBBB-0000-0000-0000-000000000002}";
const std::wstring kC = L"{CCCCCCCC-0000-0000-0000-000000000003}";

// The calls whose failure the program deliberately goes on without, and why:
// those the runs below meet. A run that fails one of these may still claim
// success, but only with the same work done as without the failure.
struct Ignored {
    const char* call;
    const char* reason;
    // The failure reads as an answer the call also gives without one, so
    // the run may do other work: but never claim the work of the clean run.
    bool indistinguishable = false;
};
const Ignored kIgnoredFailures[] = {
    {"write", "the own log takes no more lines once one cannot be written: the run goes on without it"},
    {"createFile", "an own log that cannot be created: the run goes on without one"},
    {"deleteFile", "a package file or product log that cannot be deleted is tried again, then left to the system"},
    {"removeFolder", "a working folder that cannot be removed is tried again, then left to the system"},
    {"exists", "a name thought free is then created exclusively: when it is taken, that fails and the next is tried"},
    {"fullPath", "a /log path that cannot be made absolute: no own log, the product logs go to the temporary folder"},
    {"openFolder", "a log folder that cannot be held free of links: the logs go to the system's temporary folder, or "
                   "are not written (the working folder's and /e's folders are failures)"},
    {"windowsFolder", "the system's temporary folder is a log's second place only, when not elevated"},
    {"look", "a file whose look cannot be completed is not trusted: it is deleted and made anew, or the next name "
             "is taken"},
    {"holdForReaders", "a package another program still has open is held again after a moment"},
    {"checkWindowStation", "a station whose flags cannot be read is taken as one a user sees: boxes as ever, the "
                           "own log names the error"},
    {"isFolder", "a log folder not found is made, or the product logs go to c: (the temporary folder's last resort)"},
    {"createFolder", "a log folder that cannot be made: the product logs go to c: (the temporary folder's last resort)"},
    {"showBox", "a box that cannot be shown hides what it told; the run's record and the own log say the user was not "
                "told", true},
    {"tempFolder", "no temporary folder for the default own log or the product logs: no own log; logs go to c:"},
    {"holdForWriter", "a product log that cannot be made: the patch is applied without one"},
    {"recheckFolder", "a log folder that cannot be shown free of links again once the log is in it: the patch is "
                      "applied without that log, and the own log says so"},
    {"userProfileFolder", "elevated, without the user's profile folder the user's temporary folder is not used: the "
                          "logs go to the system's (the copies of /e and /i fail)"},
    {"setProcessTempFolder", "Windows Installer's client keeps the user's temporary folder for its own files: the "
                             "own log says so"},
    {"onNetwork", "a drive of no known kind counts as a network drive: the logs go to the system's temporary "
                  "folder (the copies of /e and /i fail)"},
    {"enableLog", "the installer's log is a record only: the patch is applied without it"},
    {"setInternalUI", "the installer's interface level is a matter of display: the patch is applied anyway"},
    {"setThreadLocale", "the product's language steers the texts only: they come in the language in force"},
    {"getProductInfo", "the product's name and language steer texts and log names only"},
    {"getPatchInfoEx", "what is registered for the patch is written to the own log only"},
    {"readRegistry", "whether a restart was pending before the run is told in the own log only (as not known)"},
    {"summaryInfoGetProperty", "the patch code (Revision Number) is written to the own log only"},
    {"getSummaryInformation", "the patch code is written to the own log only"},
    {"processElevated", "a system that cannot tell counts as elevated: only the working folder's access is narrower"},
    {"loadString", "a text that cannot be loaded comes from the next language of the catalogue, or stays empty"},
    {"findResource", "the package's size in the own log only (a lookup that fails otherwise is reported)"},
    {"queryProductState", "the service answers INSTALLSTATE_UNKNOWN for a product it cannot tell of, as for one not "
                          "installed", true},
    {"readArguments", "a command line that cannot be split runs as one without arguments: the patch run, plainly", true},
};

const Ignored* IgnoredFailure(const std::string& call) {
    for (const Ignored& ignored : kIgnoredFailures) {
        if (call == ignored.call) return &ignored;
    }
    return nullptr;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// One run on substitutes of its own: a computer with three products, two of
// them targets of the global package and one of the language pack, each at
// a version the packages apply to. The substitutes are the fixtures' own.
struct World : OsVersionTest {
    using OsVersionTest::boxes;
    using OsVersionTest::files;
    using OsVersionTest::installer;
    using OsVersionTest::resources;
    void TestBody() override {}

    World(const std::vector<std::wstring>& args, bool elevated) {
        files.elevated = elevated;
        for (auto [lang, tag] : {std::pair<std::uint16_t, std::wstring>{1033, L"en"}, {1031, L"de"}}) {
            for (unsigned id : {301u, 306u, 308u}) resources.addString(lang, id, tag + std::to_wstring(id) + L" %s");
            resources.addString(lang, 300, tag + L"300 %d");
            for (unsigned id : {307u, 311u, 312u, 313u, 315u}) resources.addString(lang, id, tag + std::to_wstring(id));
            resources.addString(lang, 316, L"_glob");
            resources.addString(lang, 317, L"_lp");
        }
        carry(L"IDR_MSP", kA + L";" + kB);
        carry(L"IDR_MSP_LP", kC);
        install(kA, L"A", L"1031");
        install(kB, L"B", L"1033");
        install(kC, L"C", L"1031");
        files.folders = {L"C:\\Temp", L"C:\\Windows\\Temp", L"D:\\Out", L"D:\\logs"};
        os.report(fake::NtRecord(10, 0, 1, 0, 19045), 9);
        arguments.arguments = {L"C:\\Downloads\\update.exe"};
        arguments.arguments.insert(arguments.arguments.end(), args.begin(), args.end());
    }

    void carry(const std::wstring& resource, const std::wstring& templ) {
        const std::string bytes = "package " + Narrow(resource);
        resources.packages[resource] = bytes;
        fake::Package package;
        package.properties[7].text = templ;
        package.properties[5].text = L"2.0.0.0;1.0.0.0,";
        package.properties[9].text = L"{DDDDDDDD-0000-0000-0000-000000000004}";
        installer.packagesByContent[bytes] = package;
    }
    void install(const std::wstring& code, const std::wstring& name, const std::wstring& language) {
        installer.products[code] = {5, {{L"VersionString", L"1.0.0.0"}, {L"ProductName", name}, {L"Language", language}}, {}};
    }

    // What a run did that counts: each configure call (its package path
    // left out, which names a file of the run) and each file written for the user.
    std::vector<std::wstring> work(const std::set<std::wstring>& before) const {
        std::vector<std::wstring> done;
        // The product and what the command line asks beyond the package
        // file (a name of the run) and the files-in-use text (in the language
        // the thread happens to have).
        for (const auto& call : installer.configures) {
            const std::size_t text = call.commandLine.find(L"FILESINUSETEXT=\"");
            const std::size_t end = text == std::wstring::npos ? 0 : call.commandLine.find(L'"', text + 16) + 1;
            done.push_back(call.productCode + call.commandLine.substr(end));
        }
        for (const auto& [path, content] : files.files) {
            if (before.count(path) == 0 && path.rfind(L"D:\\Out\\", 0) == 0) done.push_back(path);
        }
        return done;
    }
};

struct SweptRun {
    const char* what;
    std::vector<std::wstring> args;
    // Without a fault: the exit code, and the configure calls and files for the user.
    int exitCode;
    std::size_t work;
};

const SweptRun kRuns[] = {
    {"the patch run", {}, 0, 3},
    {"/quiet /log", {L"/quiet", L"/log", L"D:\\logs\\run.log"}, 0, 3},
    {"/check", {L"/check"}, 1, 0},
    {"/e with a path", {L"/e", L"D:\\Out\\update.msp", L"/quiet"}, 0, 2},
    {"/i", {L"/log", L"D:\\logs\\report.log", L"/i"}, 0, 0},
    {"NAME=VALUE", {L"/passive", L"/norestart", L"MSIRESTARTMANAGERCONTROL=Disable"}, 0, 3},
};

struct Outcome {
    int exitCode = 0;
    std::uint32_t error = 0;      // what the failed call gave
    std::uint32_t thenError = 0;  // and the second one, when one failed
    bool deployment = false;
    bool report = false;  // "/i": its exit code is 0 whatever it found
    std::vector<std::wstring> work;
    std::vector<fake::ShownBox> boxes;
    std::vector<std::string> leftovers;
    std::string ownLog;  // its text; empty when none was written
};

// Makes `run` with calls `failAt` and `thenFailAt` failing (0: none); the
// names of its calls go to `names` when given.
Outcome Make(const SweptRun& run, bool elevated, std::size_t failAt, std::size_t thenFailAt = 0,
             std::vector<const char*>* names = nullptr) {
    World world(run.args, elevated);
    ResetProgramState();
    DisplayedProductName.clear();
    std::set<std::wstring> before;
    for (const auto& [path, content] : world.files.files) before.insert(path);
    const std::set<std::wstring> foldersBefore = world.files.folders;
    fake::Faults().keepNames = names != nullptr;
    fake::Faults().failAt = failAt;
    fake::Faults().thenFailAt = thenFailAt;

    Outcome outcome;
    outcome.exitCode = RunEntryPoint(ModuleInstance);
    outcome.deployment = DeploymentMode();
    outcome.report = ReportMode;
    if (names != nullptr) *names = fake::Faults().names;
    outcome.error = fake::Faults().failedError;
    outcome.thenError = fake::Faults().thenFailedError;
    fake::Faults().failAt = fake::Faults().thenFailAt = 0;

    outcome.work = world.work(before);
    outcome.boxes = world.boxes.shown;
    for (const auto& [path, content] : world.files.files) {
        if (before.count(path) != 0) continue;
        if (EndsWith(path, L".log")) {
            if (!EndsWith(path, L" R2.log") && !EndsWith(path, L").log")) outcome.ownLog += content;
            continue;
        }
        // Packages written for the user ("/e", and the report's extractions
        // into the temporary folder) stay, but only whole.
        const bool delivered = path.rfind(L"D:\\Out\\", 0) == 0 || (outcome.report && path.rfind(L"C:\\Temp\\MSP", 0) == 0);
        bool whole = false;
        for (const auto& [name, bytes] : world.resources.packages) whole = whole || content == bytes;
        if (!delivered || !whole) outcome.leftovers.push_back("file " + Narrow(path));
    }
    for (const std::wstring& folder : world.files.folders) {
        if (foldersBefore.count(folder) == 0) outcome.leftovers.push_back("folder " + Narrow(folder));
    }
    for (const auto& [path, count] : world.files.openNow) outcome.leftovers.push_back("open file " + Narrow(path));
    for (const auto& [path, count] : world.files.held) outcome.leftovers.push_back("held " + Narrow(path));
    if (world.installer.openHandles() != 0) outcome.leftovers.push_back("open installer handle");
    return outcome;
}

std::vector<std::wstring> Texts(const std::vector<fake::ShownBox>& boxes) {
    std::vector<std::wstring> texts;
    for (const auto& box : boxes) texts.push_back(box.text);
    return texts;
}

bool IsSuccessCode(int code) { return code == 0 || code == 3010 || code == 1641; }

// The boxes that tell of success: 301 and 306, in either language.
bool ShowsSuccess(const std::vector<fake::ShownBox>& boxes) {
    for (const auto& box : boxes) {
        for (const wchar_t* id : {L"301", L"306"}) {
            if (box.text.compare(2, 3, id) == 0) return true;
        }
    }
    return false;
}

std::string WithThousands(std::size_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

struct Tally {
    std::size_t faults = 0, afterAFirst = 0, falseSuccesses = 0, leftovers = 0;
};

// What a faulted run of `run` must and must not do; `calls` are the calls
// that failed, in order.
void Judge(const Outcome& clean, const Outcome& faulted, const std::vector<std::string>& calls, Tally& tally) {
    // What the caller learns: the exit code under the deployment switches
    // (not of "/i", whose code is 0 whatever it found), else the boxes.
    const bool claimsCleanOutcome = faulted.deployment && !faulted.report
                                        ? IsSuccessCode(faulted.exitCode) || faulted.exitCode == clean.exitCode
                                        : Texts(faulted.boxes) == Texts(clean.boxes);
    // A write that failed may have been the own log's: it takes no more lines then.
    const bool logCut = std::find(calls.begin(), calls.end(), "write") != calls.end();
    bool allIgnored = true, indistinguishable = false;
    for (const std::string& call : calls) {
        const Ignored* ignored = IgnoredFailure(call);
        allIgnored = allIgnored && ignored != nullptr;
        indistinguishable = indistinguishable || (ignored != nullptr && ignored->indistinguishable);
    }
    if (claimsCleanOutcome) {
        const bool honest = allIgnored && (indistinguishable || faulted.work == clean.work);
        if (!honest) ++tally.falseSuccesses;
        EXPECT_TRUE(honest) << "exit code " << faulted.exitCode << (allIgnored ? ", other work done" : "");
    } else {
        bool failureShown = false;
        for (const auto& box : faulted.boxes) {
            if (box.text.compare(2, 3, L"300") == 0) {
                EXPECT_NE(box.text.substr(5), L" 0");
                failureShown = true;
            }
            EXPECT_FALSE(failureShown && ShowsSuccess({box})) << "success after a failure";
        }
        // A failure exits with the system's reason (of either failed call); 1642 tells a target taken
        // for absent. (A package file that cannot be read back still exits as one that was changed,
        // 1392, until the held package tells the two apart.)
        const bool read = std::find(calls.begin(), calls.end(), "read") != calls.end();
        if (faulted.deployment && !faulted.report && faulted.exitCode != 1642 && !read) {
            const auto code = static_cast<std::uint32_t>(faulted.exitCode);
            EXPECT_TRUE(code == faulted.error || (calls.size() > 1 && code == faulted.thenError))
                << "the exit code " << code;
        }
        // The code of a failure box is set again after the lines logged before it.
        EXPECT_EQ(faulted.ownLog.find("300 0\r\n"), std::string::npos) << faulted.ownLog;
        if (!logCut && !faulted.ownLog.empty() && faulted.deployment && !faulted.report) {
            const std::string code = std::to_string(faulted.exitCode);
            const bool named = faulted.ownLog.find("error " + code + "\r\n") != std::string::npos ||
                               faulted.ownLog.find("returned " + code + " ") != std::string::npos ||
                               faulted.ownLog.find("Message 307") != std::string::npos ||
                               faulted.ownLog.find("Message 308") != std::string::npos;
            EXPECT_TRUE(named) << "exit code " << faulted.exitCode << ", own log:\n" << faulted.ownLog;
        }
    }
    // A box that cannot be shown is never silent where there is an own log.
    if (!logCut && std::find(calls.begin(), calls.end(), "showBox") != calls.end() && !faulted.ownLog.empty()) {
        EXPECT_NE(faulted.ownLog.find("could not be shown: error 1400"), std::string::npos) << faulted.ownLog;
    }
    tally.leftovers += faulted.leftovers.size();
    for (const std::string& left : faulted.leftovers) ADD_FAILURE() << "left behind: " << left;
}

TEST(FaultSweep, EveryCallFailsInTurnAndNoRunCrashesLiesOrLeavesAnythingBehind) {
    Tally tally;
    std::size_t runs = 0;
    for (bool elevated : {false, true}) {
        for (const SweptRun& run : kRuns) {
            ++runs;
            const std::string what = std::string(run.what) + (elevated ? ", elevated" : "");
            std::vector<const char*> names;
            const Outcome clean = Make(run, elevated, 0, 0, &names);
            ASSERT_FALSE(names.empty()) << what;
            EXPECT_EQ(clean.exitCode, run.exitCode) << what;
            EXPECT_EQ(clean.work.size(), run.work) << what;
            EXPECT_TRUE(clean.leftovers.empty()) << what;
            for (std::size_t n = 1; n <= names.size(); ++n) {
                const std::string call = names[n - 1];
                std::vector<const char*> faultedNames;
                {
                    SCOPED_TRACE(what + ", call " + std::to_string(n) + " (" + call + ") failing");
                    const Outcome faulted = Make(run, elevated, n, 0, &faultedNames);
                    ++tally.faults;
                    // The same run up to the failing call: it is reached.
                    EXPECT_EQ(fake::Faults().failed != nullptr ? std::string(fake::Faults().failed) : std::string(), call);
                    Judge(clean, faulted, {call}, tally);
                }
                // Then each later call of that run that the failure brought fails as well: those
                // after it up to where the run rejoins the clean run's calls for good (their common
                // tail). A failure that changes no call brings none; the calls of the common tail
                // each fail on their own above.
                std::size_t tail = 0;
                while (tail < faultedNames.size() - n && tail < names.size() - n &&
                       std::string(faultedNames[faultedNames.size() - 1 - tail]) == names[names.size() - 1 - tail]) {
                    ++tail;
                }
                for (std::size_t m = n + 1; m + tail <= faultedNames.size(); ++m) {
                    const std::string then = faultedNames[m - 1];
                    SCOPED_TRACE(what + ", call " + std::to_string(n) + " (" + call + ") and then call " +
                                 std::to_string(m) + " (" + then + ") failing");
                    const Outcome faulted = Make(run, elevated, n, m);
                    ++tally.faults;
                    ++tally.afterAFirst;
                    EXPECT_EQ(fake::Faults().thenFailed != nullptr ? std::string(fake::Faults().thenFailed) : std::string(), then);
                    Judge(clean, faulted, {call, then}, tally);
                }
            }
        }
    }
    std::printf("fault sweep: %s faults in %zu runs: %s of them after a first fault; 0 crashes, %zu false successes, "
                "%zu leftovers\n",
                WithThousands(tally.faults).c_str(), runs, WithThousands(tally.afterAFirst).c_str(),
                tally.falseSuccesses, tally.leftovers);
}

}  // namespace
