// The command-line scan on any argument vector: one argument per input line,
// the first standing for the program's path.
#include <cstddef>
#include <cstdint>

#include "app/command_line.h"
#include "app/switches.h"
#include "fuzz_input.h"

namespace {

bool SameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
}

struct Switches {
    bool quiet, install, extract, report;
    std::wstring path;
    bool operator==(const Switches& o) const {
        return quiet == o.quiet && install == o.install && extract == o.extract && report == o.report &&
               path == o.path;
    }
};

Switches Scan(const std::vector<std::wstring>& arguments) {
    // Values a scan must set itself; only ReportMode keeps its start value.
    QuietMode = true;
    InstallMode = false;
    ExtractMode = true;
    ExtractPath = L"left over";
    ReportMode = false;
    ScanArguments(arguments);
    return {QuietMode, InstallMode, ExtractMode, ReportMode, ExtractPath};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::wstring> arguments = fuzz::Lines(data, size);
    const Switches s = Scan(arguments);

    FUZZ_CHECK(!(s.install && (s.extract || s.report)));
    FUZZ_CHECK(s.path.empty() || s.extract);

    bool anySwitch = false;
    bool quietSeen = false, extractSeen = false, stopSeen = false;
    bool pathIsAFollower = s.path.empty();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& a = arguments[i];
        for (const wchar_t* name : {L"/q", L"/e", L"/i", L"/pi", L"/quiet", L"/passive", L"/norestart", L"/log", L"/?",
                                    L"/help"}) {
            if (SameIgnoringAsciiCase(a, name)) anySwitch = true;
        }
        for (const wchar_t* name : {L"/q", L"/quiet", L"/passive"}) {
            if (SameIgnoringAsciiCase(a, name)) quietSeen = true;
        }
        if (SameIgnoringAsciiCase(a, L"/e")) {
            extractSeen = true;
            if (i + 1 < arguments.size() && arguments[i + 1] == s.path) pathIsAFollower = true;
        }
        if (SameIgnoringAsciiCase(a, L"/i") || SameIgnoringAsciiCase(a, L"/pi")) stopSeen = true;
    }
    // Every effect has its switch on the line; the path always followed a "/e".
    FUZZ_CHECK(!s.quiet || quietSeen);
    FUZZ_CHECK(!s.extract || extractSeen);
    FUZZ_CHECK(!s.report || stopSeen);
    FUZZ_CHECK(pathIsAFollower);
    // A line without any switch runs the patch run with messages.
    if (!anySwitch) FUZZ_CHECK(s == (Switches{false, true, false, false, L""}));
    // The program's own path is never scanned.
    std::vector<std::wstring> withOtherPath = arguments;
    if (!withOtherPath.empty()) {
        withOtherPath[0] = L"/e";
        FUZZ_CHECK(Scan(withOtherPath) == s);
    }
    return 0;
}
