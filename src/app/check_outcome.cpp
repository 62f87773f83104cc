#include "app/check_outcome.h"

#include "platform/error_codes.h"

std::uint32_t CheckExitCodeFor(const RunRecord& record) {
    // No configure call is made, so the run's code is 0, 1642 or a failure's.
    const std::uint32_t code = ExitCodeFor(record);
    // A failure that came with 1 must not read as "would be applied".
    if (code == kCheckWouldApply) return platform::kErrorInstallFailure;
    if (code != 0 && code != platform::kErrorPatchTargetNotFound) return code;
    for (const RunRecord::Entry& entry : record.entries) {
        if (entry.event == RunEvent::Applied) return kCheckWouldApply;
    }
    return code;
}
