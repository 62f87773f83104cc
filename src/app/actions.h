#pragma once
// The actions the entry point chooses between.

#include "app/run_outcome.h"

// Applies the embedded packages to the installed products they target, and
// tells what happened.
RunRecord RunPatches();

// ShowPackageInformation: the report box describing the embedded packages.
#include "report/package_information.h"
