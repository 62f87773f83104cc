#include "app/run_outcome.h"

#include "platform/error_codes.h"

std::uint32_t ExitCodeFor(const RunRecord& record) {
    bool notApplicable = false, initiated = false, required = false;
    for (const RunRecord::Entry& entry : record.entries) {
        switch (entry.event) {
            case RunEvent::Failure:
                // A failure must never read as success, or as nothing to do,
                // whatever code it came with.
                switch (entry.code) {
                    case 0:
                    case platform::kSuccessRebootInitiated:
                    case platform::kSuccessRebootRequired:
                    case platform::kErrorPatchTargetNotFound:
                        return platform::kErrorInstallFailure;
                    default:
                        return entry.code;
                }
            case RunEvent::ProductNotFound:
            case RunEvent::WrongVersion:
                notApplicable = true;
                break;
            case RunEvent::RestartInitiated:
                initiated = true;
                break;
            case RunEvent::RestartRequired:
                required = true;
                break;
            case RunEvent::Applied:
            case RunEvent::UpToDate:
            case RunEvent::LanguagePackNotInstalled:
            case RunEvent::MessageNotShown:
                break;
        }
    }
    // A computer that waits for a restart is told so, although some target
    // was not applicable: without the restart it stays half-updated.
    if (initiated) return platform::kSuccessRebootInitiated;
    if (required) return platform::kSuccessRebootRequired;
    if (notApplicable) return platform::kErrorPatchTargetNotFound;
    return 0;
}

RunEvent EventOfConfigureResult(std::uint32_t result) {
    switch (result) {
        case 0:
            return RunEvent::Applied;
        case platform::kSuccessRebootInitiated:
            return RunEvent::RestartInitiated;
        case platform::kSuccessRebootRequired:
            return RunEvent::RestartRequired;
        default:
            return RunEvent::Failure;
    }
}

std::uint32_t FirstFailureCode(const RunRecord& record) {
    for (const RunRecord::Entry& entry : record.entries) {
        if (entry.event == RunEvent::Failure) return entry.code;
    }
    return 0;
}
