#include "app/pending_restart.h"

#include "app/run_log.h"
#include "platform/error_codes.h"
#include "platform/registry.h"
#include "platform/services.h"

namespace {

// Where Windows keeps what waits for the next start, and how the own log
// names it. A key named without a value is a mark by being there.
struct Reason {
    const wchar_t* key;
    const wchar_t* value;
    const wchar_t* what;
};
const Reason kReasons[] = {
    {L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations",
     L"files wait to be renamed or deleted at the next start of the system"},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending", L"",
     L"servicing (Component Based Servicing) waits for a restart"},
    {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired", L"",
     L"Windows Update waits for a restart"},
};

std::wstring PlaceOf(const Reason& reason) {
    std::wstring place = L"HKLM\\" + std::wstring(reason.key);
    if (reason.value[0] != L'\0') place += L" value " + std::wstring(reason.value);
    return place;
}

}  // namespace

std::vector<RestartLine> PendingRestartLines() {
    std::vector<RestartLine> lines;
    platform::Registry* registry = platform::Current().registry;
    if (registry == nullptr) return lines;
    for (const Reason& reason : kReasons) {
        const platform::RegistryEntry entry = registry->machine(reason.key, reason.value);
        switch (entry.presence) {
            case platform::RegistryPresence::Absent:
                break;
            case platform::RegistryPresence::Unreadable:
                lines.push_back({true, L"Whether a restart is pending is not known: " + PlaceOf(reason) +
                                           L" cannot be read (error " + std::to_wstring(entry.error) + L")"});
                break;
            case platform::RegistryPresence::Present: {
                std::wstring text = L"A restart is pending from before this run: " + std::wstring(reason.what) +
                                    L" (" + PlaceOf(reason);
                // The renames: pairs of a file and its new name (empty: deleted).
                if (reason.value[0] != L'\0') {
                    if (entry.strings.empty()) break;  // a value without any rename asks for nothing
                    text += L": files " + std::to_wstring((entry.strings.size() + 1) / 2) + L", the first \"" +
                            entry.strings.front() + L"\"";
                }
                lines.push_back({true, text + L")"});
                break;
            }
        }
    }
    if (lines.empty()) {
        lines.push_back({false, L"No restart is pending: no files wait to be renamed at the next start, and neither "
                                L"servicing nor Windows Update waits for a restart"});
    }
    return lines;
}

void LogPendingRestart() {
    if (!RunLogOpen()) return;
    for (const RestartLine& line : PendingRestartLines()) {
        LogLine(line.text, line.warning ? LogSeverity::Warning : LogSeverity::Information);
    }
}

void LogRestartStillNeeded(const RunRecord& record, std::uint32_t exitCode) {
    if (exitCode == platform::kSuccessRebootRequired || exitCode == platform::kSuccessRebootInitiated) return;
    for (const RunRecord::Entry& entry : record.entries) {
        const bool restart = entry.event == RunEvent::RestartRequired || entry.event == RunEvent::RestartInitiated;
        if (!restart) continue;
        LogLine(L"A restart is still needed: a configure call answered " +
                    std::to_wstring(entry.event == RunEvent::RestartRequired ? platform::kSuccessRebootRequired
                                                                             : platform::kSuccessRebootInitiated) +
                    L", which exit code " + std::to_wstring(exitCode) + L" of the failure does not tell",
                LogSeverity::Warning);
        return;
    }
}
