#pragma once
// Install mode: applies the embedded packages to the installed products they
// target and tells the user the outcome.
#include <string>

#include "app/run_outcome.h"
#include "package/patch_target.h"
#include "products/four_part_version.h"

enum class PackageOutcome {
    Failed = 1,    // a message for this package has been shown
    Applied = 2,   // at least one configure call succeeded
    UpToDate = 3,  // nothing needed the patch (or the package is not carried)
};

class WorkingFolder;

// Shows message `id`. A box that cannot be shown is noted in `record` and in
// the own log, with the message and the system's error: the user was not
// told, and the run says so.
void TellUser(unsigned id, RunRecord& record);

// Runs one package: extraction into `workingFolder`, reading, target
// selection, application. What happened is added to `record` when one is
// given.
PackageOutcome RunPatchPackage(const WorkingFolder& workingFolder, const std::wstring& resourceName,
                               unsigned failureMessageId, bool recordProductName, RunRecord* record = nullptr);

// What a target's installed version means for the patch.
enum class TargetDecision {
    AlreadyPatched,  // installed equals the upgrade version
    Apply,           // installed equals an applicable version listed before the upgrade version
    EndUpToDate,     // the list reaches the upgrade version first: the whole package run ends
    NotDesigned,     // no entry matches: message 308
};

// Decides for one target. Each entry of `targetVersions` is the text before
// a ","; text after the last "," is never examined.
TargetDecision DecideTarget(const FourPartVersion& installed, const FourPartVersion& upgrade,
                            const std::wstring& targetVersions);

// Appends to the target list a copy of `prototype` for each installed
// product of `productCodes` (the Template text), in order. An empty entry
// ends the walk.
void SelectTargets(PatchTarget& prototype, const std::wstring& productCodes);
