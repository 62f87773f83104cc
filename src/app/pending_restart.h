#pragma once
// Whether the computer already waited for a restart before the run: the most
// common reason for a patch run that ends in 3010, or fails in a way that
// looks unrelated. Told in the own log only; it changes no decision.
#include <string>
#include <vector>

#include "app/run_outcome.h"

// What the own log says of a pending restart: a warning for each reason
// found, or for each place that cannot be read; one plain line when none is
// pending.
struct RestartLine {
    bool warning;
    std::wstring text;
};
std::vector<RestartLine> PendingRestartLines();

// Writes PendingRestartLines() to the own log, when one is open.
void LogPendingRestart();

// Writes a warning to the own log when `exitCode` tells a failure while a
// configure call of `record` answered 3010 or 1641: the computer still needs
// its restart, which that code no longer tells.
void LogRestartStillNeeded(const RunRecord& record, std::uint32_t exitCode);
