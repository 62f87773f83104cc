#include "app/patch_info.h"

#include <optional>

#include "app/run_log.h"
#include "app/switches.h"
#include "package/patch_target.h"
#include "package/summary_information.h"
#include "platform/services.h"
#include "platform/thread_state.h"
#include "products/patch_state.h"

namespace {

constexpr std::uint32_t kPatchStateApplied = 1;

std::wstring StateText(const std::optional<std::uint32_t>& state) {
    if (!state) return L"not registered";
    switch (*state) {
        case kPatchStateApplied:
            return L"applied";
        case 2:
            return L"superseded";
        case 4:
            return L"obsolete";
        case 8:
            return L"registered, not applied";
        default:
            return L"state " + std::to_wstring(*state);
    }
}

}  // namespace

std::wstring LogPatchCode(const std::wstring& resourceName, const std::wstring& packagePath) {
    if (!RunLogOpen()) return std::wstring();
    std::wstring patchCode;
    if (!ReadPatchCode(packagePath, patchCode)) {
        LogLine(L"Package " + resourceName + L": no patch code (Revision Number), error " +
                    std::to_wstring(platform::Current().thread->lastError()),
                LogSeverity::Warning);
        return std::wstring();
    }
    LogLine(L"Package " + resourceName + L": patch code " + patchCode);
    return patchCode;
}

PatchStateLog::PatchStateLog(std::wstring patchCode) : patchCode_(std::move(patchCode)) {
    // A check runs nothing: what it sees is simply the state now.
    logStates(CheckSwitch ? L"now" : L"before the run", false);
}

PatchStateLog::~PatchStateLog() {
    if (!CheckSwitch) logStates(L"after the run", true);
}

void PatchStateLog::logStates(const wchar_t* when, bool withRemoval) const {
    if (patchCode_.empty() || !RunLogOpen()) return;
    for (std::size_t position = 0; position < Targets.count(); ++position) {
        const std::wstring& product = Targets.at(position).productCode;
        const std::optional<std::uint32_t> state = RegisteredPatchNumber(patchCode_, product, L"State");
        std::wstring line = L"Patch " + patchCode_ + L" on " + product + L" " + when + L": " + StateText(state);
        if (withRemoval && state == kPatchStateApplied) {
            // Windows Installer removes only patches built removable, and says which those are.
            const std::optional<std::uint32_t> removable = RegisteredPatchNumber(patchCode_, product, L"Uninstallable");
            const std::wstring command = L"msiexec /package " + product + L" /uninstall " + patchCode_ + L" /qn";
            if (removable == 0u) {
                line += L"; not removable: it was built so, and \"" + command + L"\" would refuse it";
            } else {
                line += L"; removed with: " + command;
                if (!removable) line += L" (Windows Installer removes only patches built removable)";
            }
        }
        LogLine(line);
    }
}
