#pragma once
// The exit code of "/check": what a patch run would do on this computer.
#include <cstdint>

#include "app/run_outcome.h"

constexpr std::uint32_t kCheckWouldApply = 1;

// Under "/check" an Applied event stands for a configure call that the run
// would make. A failure's code first; else 1 when the patch would be applied
// to at least one product; else 1642 when nothing applicable was found; else
// 0: every installed target is at the upgrade version.
std::uint32_t CheckExitCodeFor(const RunRecord& record);
